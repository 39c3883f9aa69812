// Dropping files on the picture list: real files in a temporary directory,
// real drag-and-drop events carrying their file URLs.

#include "forms/filelist.h"
#include "worker/picturelist.h"

#include <QMimeData>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A list holding two earlier rows; new ones must go after them.
struct Fixture
{
    Fixture() : model(0, picturelist::ColumnCount)
    {
        view.setModel(&model);
        picturelist::appendFileRow(model, QStringLiteral("/earlier/first.png"));
        picturelist::appendFileRow(model, QStringLiteral("/earlier/second.png"));
    }

    // Enter, move and drop over the first row, as a real drag would send them;
    // true when each of them is accepted with the proposed action.
    bool dragAndDrop(QMimeData& data)
    {
        const QPoint pos = view.visualRect(model.index(0, 0)).center();
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        for (QDropEvent* event : std::initializer_list<QDropEvent*>{&enter, &move, &drop}) {
            QCoreApplication::sendEvent(view.viewport(), event);
            if (!event->isAccepted() || event->dropAction() != event->proposedAction())
                return false;
        }
        return true;
    }

    QStandardItemModel model;
    FileList view;
};

} // namespace

class TestFileList : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // Creates `relative` (and its folders) in the temporary directory, returns
    // its URL. Left empty: nothing is decoded on drop.
    QUrl fileUrl(const QString& relative)
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile(path).open(QIODevice::WriteOnly);
        return QUrl::fromLocalFile(path);
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void dropFiles_data()
    {
        QTest::addColumn<QList<QUrl>>("dropped");
        // The new rows expected, in order, as paths relative to the directory.
        QTest::addColumn<QStringList>("added");
        // Entries holding "://" are dropped as they are; the others are files
        // created under the temporary directory.
        auto row = [this](const char* tag, const QStringList& dropped, const QStringList& added) {
            QList<QUrl> urls;
            for (const QString& entry : dropped)
                urls << (entry.contains("://") ? QUrl(entry) : fileUrl(entry));
            QTest::newRow(tag) << urls << added;
        };

        row("extension case ignored", {"a.JPG", "b.Jpg", "d.PnG"}, {"a.JPG", "b.Jpg", "d.PnG"});
        row("last extension counts", {"archive.tar.png", "photo.png.txt"}, {"archive.tar.png"});
        row("dot only in folder", {"my.pics/png", "my.pics/in.bmp"}, {"my.pics/in.bmp"});
        row("others still added", {"a.png", "notes.txt", "README", "b.bmp"}, {"a.png", "b.bmp"});
        row("same file twice", {"twice.png", "twice.png"}, {"twice.png", "twice.png"});
        row("not a local file", {"http://example.com/pic.png", "local.png"}, {"local.png"});
        const QStringList nonAscii{QStringLiteral("Urlaub 2023/Grüße aus Köln – 写真.png")};
        row("non-ASCII path kept", nonAscii, nonAscii);

        QStringList forty;
        for (int i = 0; i < 40; ++i)
            forty << QStringLiteral("many/pic%1.png").arg(i);
        row("at most 32 looked at", forty, forty.mid(0, 32));
        // The cap counts URLs, not rows: the 32nd URL is looked at, the 33rd is not.
        QStringList late;
        for (int i = 0; i < 31; ++i)
            late << QStringLiteral("late/text%1.txt").arg(i);
        row("cap counts URLs", late + QStringList{"p0.png", "p1.png"}, {"p0.png"});
    }
    void dropFiles()
    {
        QFETCH(QList<QUrl>, dropped);
        QFETCH(QStringList, added);
        QMimeData data;
        data.setUrls(dropped);
        Fixture f;
        QVERIFY(f.dragAndDrop(data));

        // Each row as "name|comment|path", with a "*" after each cell the user
        // may edit: the comment only.
        QStringList expected{"first.png|*|/earlier/first.png", "second.png|*|/earlier/second.png"};
        for (const QString& relative : added)
            expected << QFileInfo(relative).fileName() + "|*|" + dir.filePath(relative);
        QStringList rows;
        for (int row = 0; row < f.model.rowCount(); ++row) {
            QStringList cells;
            for (int column : {picturelist::File, picturelist::Comment, picturelist::FullPath}) {
                const QModelIndex index = f.model.index(row, column);
                cells << index.data().toString() + (index.flags() & Qt::ItemIsEditable ? "*" : "");
            }
            rows << cells.join('|');
        }
        QCOMPARE(rows, expected);
    }

    // A drag that carries no URLs is accepted all the way and changes nothing.
    void dropWithoutUrls()
    {
        QMimeData pathAsText, image, noUrls, empty;
        pathAsText.setText(fileUrl(QStringLiteral("astext.png")).toLocalFile());
        image.setImageData(QImage(4, 4, QImage::Format_RGB32));
        noUrls.setUrls({});
        for (QMimeData* data : {&pathAsText, &image, &noUrls, &empty}) {
            Fixture f;
            QVERIFY2(f.dragAndDrop(*data), qPrintable(data->formats().join(' ')));
            QCOMPARE(f.model.rowCount(), 2);
        }
    }
};

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
