// The progress window: what the worker's reports do to it, and how the user's
// Cancel and close reach (or do not reach) the worker.

#include "forms/upload.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

class TestProgress : public QObject
{
    Q_OBJECT

private slots:
    void windowShape()
    {
        Upload window;
        QCOMPARE(window.windowModality(), Qt::ApplicationModal);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(800, 300);
        QCOMPARE(window.size(), QSize(400, 116));
    }

    // Cancel is raised as the button goes down, once per press, not on release.
    void cancelOnEachPress()
    {
        Upload window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* button = window.findChild<QPushButton*>("butcancel");
        QVERIFY(button);
        QSignalSpy spy(&window, &Upload::sigcancel);
        for (int i = 1; i <= 3; ++i) {
            QTest::mousePress(button, Qt::LeftButton);
            QCOMPARE(spy.count(), i);
            QTest::mouseRelease(button, Qt::LeftButton);
            QCOMPARE(spy.count(), i);
        }
        QVERIFY(window.isVisible());
    }

    void filenameAndThumbnail()
    {
        Upload window;
        QImage thumbnail(60, 100, QImage::Format_RGB32);
        thumbnail.fill(Qt::blue);
        window.updateFilename(QStringLiteral("Größe 写真.jpg"), thumbnail);
        QCOMPARE(window.findChild<QLabel*>("filename")->text(), QStringLiteral("Größe 写真.jpg"));
        // Shown as it comes, not scaled to the label.
        const QImage shown = window.findChild<QLabel*>("imgview")->pixmap().toImage();
        QCOMPARE(shown.convertToFormat(thumbnail.format()), thumbnail);
    }

    // Each report is for one request; the next one may be larger or smaller
    // (login, a large picture, a small one), so the maximum must be set first.
    void progressReports()
    {
        Upload window;
        auto* bar = window.findChild<QProgressBar*>("progressBar");
        QVERIFY(bar);
        for (auto [total, now] : {std::pair{700, 0}, {60, 60}, {500000, 499999}, {300, 12}}) {
            window.updateProgress(total, now);
            QCOMPARE(bar->maximum(), total);
            QCOMPARE(bar->value(), now);
        }
    }

    // Closing hides the window; the batch goes on and the window stays for the
    // worker's later reports.
    void closeOnlyHides()
    {
        QPointer<Upload> window = new Upload;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QSignalSpy spy(window.data(), &Upload::sigcancel);
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window);
        QCOMPARE(spy.count(), 0);
        delete window;
    }
};

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
