#include "forms/upload.h"

#include <QCloseEvent>
#include <QPixmap>

Upload::Upload() : QWidget(nullptr)
{
    setupUi(this);
    connect(butcancel, &QPushButton::pressed, this, &Upload::cancel);
    clock.start();
}

Upload::~Upload() = default;

void Upload::cancel()
{
    emit sigcancel();
}

void Upload::updateFilename(QString nicename, QImage thumbnail)
{
    filename->setText(nicename);
    imgview->setPixmap(QPixmap::fromImage(thumbnail));
}

void Upload::updateProgress(int ultotal, int ulnow)
{
    progressBar->setMaximum(ultotal);
    progressBar->setValue(ulnow);
}

void Upload::updateBatch(int picture, int pictures, qint64 done, qint64 total)
{
    overall->setText(tr("picture %1 of %2").arg(picture).arg(pictures));
    overallBar->setValue(total > 0 ? int(1000 * qMin(done, total) / total) : 0);
    transferRate.update(done, total, clock.elapsed());
    if (transferRate.known())
        rate->setText(transferRate.text());
}

void Upload::closeEvent(QCloseEvent* event)
{
    event->accept();
}
