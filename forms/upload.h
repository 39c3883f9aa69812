#pragma once

#include "core/batch/transferrate.h"
#include "ui_upload.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>

class QCloseEvent;

// The small application-modal window shown while a batch is uploaded: the
// current picture's name and thumbnail, a progress bar and a Cancel button.
// It does no transfer work itself; the worker feeds its slots and listens to
// sigcancel().
class Upload : public QWidget, private Ui::upload
{
    Q_OBJECT

public:
    Upload();
    ~Upload() override;

signals:
    // The user pressed Cancel (raised when the button goes down).
    void sigcancel();

public slots:
    void cancel();
    // Shows the picture's name and its thumbnail, unscaled. The thumbnail comes
    // as a QImage so that it can be made on any thread; the pixmap is made here.
    void updateFilename(QString nicename, QImage thumbnail);
    // Sets the bar to `ulnow` out of `ultotal`.
    void updateProgress(int ultotal, int ulnow);
    // The whole batch: "picture 3 of 20", its bar over the batch's bytes, and
    // the speed and time left once they are known.
    void updateBatch(int picture, int pictures, qint64 done, qint64 total);

protected:
    // Closing only hides the window; the batch goes on.
    void closeEvent(QCloseEvent* event) override;

private:
    QElapsedTimer clock;
    TransferRate transferRate;
};
