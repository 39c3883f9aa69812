// The progress window: what the worker's reports do to it, and how the user's
// Cancel and close reach (or do not reach) the worker.

#include "forms/upload.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTranslator>
#include <QtTest>

namespace {

QImage filledImage(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* sourceText, const char* = nullptr,
                      int = -1) const override
    {
        if (QByteArray(context) != "upload")
            return QString();
        return QStringLiteral("U:") + QString::fromUtf8(sourceText);
    }
    bool isEmpty() const override { return false; }
};

} // namespace

using Report = QPair<int, int>;

class TestProgress : public QObject
{
    Q_OBJECT

private slots:
    void windowShape();
    void cancelEachPress_data();
    void cancelEachPress();
    void filenameAndThumbnail_data();
    void filenameAndThumbnail();
    void progressReports_data();
    void progressReports();
    void closeOnlyHides();
    void textsUseUploadContext();
};

void TestProgress::windowShape()
{
    Upload window;
    QCOMPARE(window.parent(), nullptr);
    QVERIFY(window.isWindow());
    QCOMPARE(window.objectName(), QStringLiteral("upload"));
    QCOMPARE(window.windowModality(), Qt::ApplicationModal);
    QCOMPARE(window.size(), QSize(400, 116));
    QCOMPARE(window.minimumSize(), QSize(400, 116));
    QCOMPARE(window.maximumSize(), QSize(400, 116));

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(800, 300);
    QCOMPARE(window.size(), QSize(400, 116));

    auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QVERIFY(bar);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
}

void TestProgress::cancelEachPress_data()
{
    QTest::addColumn<int>("presses");
    QTest::newRow("one") << 1;
    QTest::newRow("two") << 2;
    QTest::newRow("five") << 5;
}

void TestProgress::cancelEachPress()
{
    QFETCH(int, presses);

    Upload window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* button = window.findChild<QPushButton*>(QStringLiteral("butcancel"));
    QVERIFY(button);
    QSignalSpy spy(&window, &Upload::sigcancel);

    for (int i = 1; i <= presses; ++i) {
        // Raised as the button goes down, not on release.
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(spy.count(), i);
        QTest::mouseRelease(button, Qt::LeftButton);
        QCOMPARE(spy.count(), i);
    }
    QVERIFY(window.isVisible());
    QVERIFY(button->isEnabled());

    // The slot itself, as a connection from elsewhere would call it.
    window.cancel();
    QCOMPARE(spy.count(), presses + 1);
}

void TestProgress::filenameAndThumbnail_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage>("thumbnail");

    QTest::newRow("landscape") << QStringLiteral("Holiday.JPG") << filledImage(100, 75, Qt::red);
    QTest::newRow("portrait") << QStringLiteral("portrait.png") << filledImage(60, 100, Qt::blue);
    QTest::newRow("tiny, not enlarged")
        << QStringLiteral("icon.gif") << filledImage(8, 5, Qt::green);
    QTest::newRow("non-ASCII name")
        << QStringLiteral("Größe 写真.jpg") << filledImage(100, 100, Qt::black);
    QTest::newRow("clipboard") << QStringLiteral("clipboard.jpg") << filledImage(1, 1, Qt::white);
}

void TestProgress::filenameAndThumbnail()
{
    QFETCH(QString, name);
    QFETCH(QImage, thumbnail);

    Upload window;
    auto* label = window.findChild<QLabel*>(QStringLiteral("filename"));
    auto* view = window.findChild<QLabel*>(QStringLiteral("imgview"));
    auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QVERIFY(label && view && bar);

    window.updateProgress(5000, 1234);
    // A previous picture, replaced at once by the next one.
    window.updateFilename(QStringLiteral("previous.png"), filledImage(30, 30, Qt::yellow));
    window.updateFilename(name, thumbnail);

    QCOMPARE(label->text(), name);
    const QPixmap shown = view->pixmap();
    QCOMPARE(shown.size(), thumbnail.size());
    QCOMPARE(shown.toImage().convertToFormat(thumbnail.format()), thumbnail);
    // The bar keeps its values until the next progress report.
    QCOMPARE(bar->maximum(), 5000);
    QCOMPARE(bar->value(), 1234);
}

void TestProgress::progressReports_data()
{
    QTest::addColumn<QList<Report>>("reports");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");

    QTest::newRow("first report") << QList<Report>{{2000, 500}} << 2000 << 500;
    // The value only fits the new maximum, so the maximum must come first.
    QTest::newRow("above default maximum") << QList<Report>{{250000, 180000}} << 250000 << 180000;
    QTest::newRow("complete") << QList<Report>{{700, 700}} << 700 << 700;
    QTest::newRow("nothing sent yet") << QList<Report>{{700, 0}} << 700 << 0;
    QTest::newRow("growing") << QList<Report>{{9000, 10}, {9000, 4000}, {9000, 9000}} << 9000
                             << 9000;
    // Login, then a picture, then a smaller picture.
    QTest::newRow("next request smaller")
        << QList<Report>{{60, 60}, {500000, 499999}, {300, 12}} << 300 << 12;
}

void TestProgress::progressReports()
{
    QFETCH(QList<Report>, reports);
    QFETCH(int, maximum);
    QFETCH(int, value);

    Upload window;
    auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QVERIFY(bar);
    for (const Report& r : reports)
        window.updateProgress(r.first, r.second);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(bar->value(), value);
}

void TestProgress::closeOnlyHides()
{
    QPointer<Upload> window = new Upload;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QSignalSpy spy(window.data(), &Upload::sigcancel);

    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
    QCOMPARE(spy.count(), 0);

    // Still there for the worker's later reports, and for it to dispose of.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window.isNull());
    window->updateFilename(QStringLiteral("later.png"), filledImage(10, 10, Qt::red));
    window->updateProgress(10, 3);
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("filename"))->text(),
             QStringLiteral("later.png"));
    QCOMPARE(window->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 3);
    QCOMPARE(spy.count(), 0);
    delete window.data();
}

void TestProgress::textsUseUploadContext()
{
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    Upload window;
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(window.windowTitle(), QStringLiteral("U:Upload"));
    QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("butcancel"))->text(),
             QStringLiteral("U:Cancel"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("filename"))->text(),
             QStringLiteral("U:filename"));
}

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
