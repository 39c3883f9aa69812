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
    // Told at once, and only once: the batch stops after the picture under way.
    butcancel->setEnabled(false);
    rate->setText(tr("stopping after this picture…"));
    emit sigcancel();
}

void Upload::updateFilename(QString nicename, QImage thumbnail)
{
    filename->setText(nicename);
    imgview->setPixmap(QPixmap::fromImage(thumbnail));
    progressBar->setFormat(QStringLiteral("%p%"));
}

void Upload::updateProgress(int ultotal, int ulnow)
{
    progressBar->setMaximum(ultotal);
    progressBar->setValue(ulnow);
    // All of it sent: the site has the word now.
    progressBar->setFormat(ulnow >= ultotal ? tr("waiting for the site…") : QStringLiteral("%p%"));
}

void Upload::updateBatch(int picture, int pictures, qint64 done, qint64 total)
{
    overall->setText(tr("picture %1 of %2").arg(picture).arg(pictures));
    transferRate.update(done, total, clock.elapsed());
    overallBar->setValue(int(overallBar->maximum() * transferRate.fraction()));
    if (transferRate.known() && butcancel->isEnabled())
        rate->setText(transferRate.text());
}

void Upload::closeEvent(QCloseEvent* event)
{
    event->accept();
}
