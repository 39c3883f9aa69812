#include "forms/upload.h"

#include <QCloseEvent>
#include <QPixmap>

Upload::Upload() : QWidget(nullptr)
{
    setupUi(this);
    connect(butcancel, &QPushButton::pressed, this, &Upload::cancel);
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

void Upload::closeEvent(QCloseEvent* event)
{
    event->accept();
}
