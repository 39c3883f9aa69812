// Dropping files on the picture list: real files in a temporary directory,
// real drag-and-drop events carrying their file URLs.

#include "forms/filelist.h"
#include "worker/picturelist.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMimeData>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

namespace {

// Creates `relative` (and its folders) under `root`, returns its absolute path.
QString makeFile(const QTemporaryDir& root, const QString& relative)
{
    const QString path = root.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("not decoded on drop");
    return path;
}

// Sends enter, move and drop as a real drag over the view's viewport would;
// returns whether the drop was accepted with the proposed action.
bool dragAndDrop(FileList& view, QMimeData& data)
{
    QWidget* target = view.viewport();
    const QPoint pos = view.model() && view.model()->rowCount() > 0
                           ? view.visualRect(view.model()->index(0, 0)).center()
                           : target->rect().center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::IgnoreAction);
    enter.ignore();
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted() || enter.dropAction() != enter.proposedAction())
        return false;

    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    move.setDropAction(Qt::IgnoreAction);
    move.ignore();
    QCoreApplication::sendEvent(target, &move);
    if (!move.isAccepted() || move.dropAction() != move.proposedAction())
        return false;

    QDropEvent drop(QPointF(pos), actions, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(Qt::IgnoreAction);
    drop.ignore();
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted() && drop.dropAction() == drop.proposedAction();
}

struct Fixture
{
    Fixture() : model(0, picturelist::ColumnCount)
    {
        view.setModel(&model);
        // Rows that were there before the drop; new ones go after them.
        picturelist::appendFileRow(model, QStringLiteral("/earlier/first.png"));
        picturelist::appendFileRow(model, QStringLiteral("/earlier/second.png"));
        view.resize(400, 300);
    }
    QStandardItemModel model;
    FileList view;
};

constexpr int EarlierRows = 2;

} // namespace

class TestFileList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dropFiles_data();
    void dropFiles();
    void dropWithoutUrls_data();
    void dropWithoutUrls();
    void dragLeaveAccepted();
    void noPictureModel();

private:
    QTemporaryDir dir;
};

void TestFileList::initTestCase()
{
    QVERIFY(dir.isValid());
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const char* needed : {"png", "bmp", "jpg"})
        QVERIFY2(formats.contains(needed), needed);
    QVERIFY(!formats.contains("txt"));
}

void TestFileList::dropFiles_data()
{
    // What is dropped: paths relative to the temporary directory (created as
    // files there), or absolute URLs given as they are when they hold "://".
    QTest::addColumn<QStringList>("dropped");
    // The file names expected as new rows, in order; their paths follow from them.
    QTest::addColumn<QStringList>("added");

    QTest::newRow("one picture") << QStringList{"Holiday.JPG"} << QStringList{"Holiday.JPG"};
    QTest::newRow("extension case ignored") << QStringList{"a.JPG", "b.Jpg", "c.jpg", "d.PnG"}
                                            << QStringList{"a.JPG", "b.Jpg", "c.jpg", "d.PnG"};
    QTest::newRow("last extension counts")
        << QStringList{"archive.tar.png", "photo.png.txt"} << QStringList{"archive.tar.png"};
    QTest::newRow("dot only in folder") << QStringList{"my.pics/noext"} << QStringList{};
    QTest::newRow("picture in dotted folder")
        << QStringList{"my.pics/inside.bmp"} << QStringList{"my.pics/inside.bmp"};
    QTest::newRow("others of the drop still added")
        << QStringList{"first.png", "notes.txt", "README", "second.bmp", "archive.zip"}
        << QStringList{"first.png", "second.bmp"};
    QTest::newRow("same file twice")
        << QStringList{"twice.png", "twice.png"} << QStringList{"twice.png", "twice.png"};
    QTest::newRow("non-ASCII path kept")
        << QStringList{QStringLiteral("Urlaub 2023/Grüße aus Köln – 写真.png")}
        << QStringList{QStringLiteral("Urlaub 2023/Grüße aus Köln – 写真.png")};
    QTest::newRow("not a local file")
        << QStringList{"http://www.example.com/pic.png", "local.png"} << QStringList{"local.png"};

    QStringList forty;
    for (int i = 0; i < 40; ++i)
        forty << QStringLiteral("many/pic%1.png").arg(i, 2, 10, QLatin1Char('0'));
    QTest::newRow("at most 32 looked at") << forty << forty.mid(0, 32);

    // The cap counts URLs, not rows: pictures after the 32nd URL are ignored
    // even when none before it was a picture.
    QStringList lateOnly;
    for (int i = 0; i < 32; ++i)
        lateOnly << QStringLiteral("late/text%1.txt").arg(i);
    for (int i = 0; i < 8; ++i)
        lateOnly << QStringLiteral("late/pic%1.png").arg(i);
    QTest::newRow("pictures beyond the cap") << lateOnly << QStringList{};

    QStringList edge = lateOnly.mid(0, 31);
    edge << "late/pic0.png"
         << "late/pic1.png";
    QTest::newRow("32nd URL still counts") << edge << QStringList{"late/pic0.png"};
}

void TestFileList::dropFiles()
{
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, added);

    QList<QUrl> urls;
    for (const QString& entry : dropped) {
        if (entry.contains(QStringLiteral("://")))
            urls << QUrl(entry);
        else
            urls << QUrl::fromLocalFile(makeFile(dir, entry));
    }
    QMimeData data;
    data.setUrls(urls);

    Fixture f;
    QVERIFY(dragAndDrop(f.view, data));

    QCOMPARE(f.model.rowCount(), EarlierRows + added.size());
    QCOMPARE(f.model.columnCount(), int(picturelist::ColumnCount));
    QCOMPARE(f.model.index(0, picturelist::File).data().toString(), QStringLiteral("first.png"));
    QCOMPARE(f.model.index(1, picturelist::File).data().toString(), QStringLiteral("second.png"));

    for (int i = 0; i < added.size(); ++i) {
        const int row = EarlierRows + i;
        const QString path = dir.filePath(added.at(i));
        const QString name = QFileInfo(path).fileName();
        QCOMPARE(f.model.index(row, picturelist::File).data().toString(), name);
        QCOMPARE(f.model.index(row, picturelist::FullPath).data().toString(), path);
        QVERIFY(QFileInfo::exists(f.model.index(row, picturelist::FullPath).data().toString()));
        QCOMPARE(f.model.index(row, picturelist::Comment).data().toString(), QString());
        QVERIFY(!f.model.index(row, picturelist::Image).data().isValid());

        // Name and path are fixed; the comment is for the user to type.
        for (int column : {int(picturelist::File), int(picturelist::FullPath)}) {
            const Qt::ItemFlags flags = f.model.index(row, column).flags();
            QVERIFY(!flags.testFlag(Qt::ItemIsEditable));
            QVERIFY(flags.testFlag(Qt::ItemIsSelectable));
            QVERIFY(flags.testFlag(Qt::ItemIsEnabled));
        }
        QVERIFY(f.model.index(row, picturelist::Comment).flags().testFlag(Qt::ItemIsEditable));
        QVERIFY(!f.model.hasChildren(f.model.index(row, 0)));
    }
}

void TestFileList::dropWithoutUrls_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("plain text") << "text";
    QTest::newRow("path as text") << "pathtext";
    QTest::newRow("image data") << "image";
    QTest::newRow("empty") << "empty";
    QTest::newRow("empty URL list") << "nourls";
}

void TestFileList::dropWithoutUrls()
{
    QFETCH(QString, kind);

    const QString picture = makeFile(dir, QStringLiteral("astext.png"));
    QMimeData data;
    if (kind == QLatin1String("text"))
        data.setText(QStringLiteral("hello"));
    else if (kind == QLatin1String("pathtext"))
        data.setText(picture);
    else if (kind == QLatin1String("image"))
        data.setImageData(QImage(4, 4, QImage::Format_RGB32));
    else if (kind == QLatin1String("nourls"))
        data.setUrls({});

    Fixture f;
    QVERIFY(dragAndDrop(f.view, data));
    QCOMPARE(f.model.rowCount(), EarlierRows);
}

void TestFileList::dragLeaveAccepted()
{
    Fixture f;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(makeFile(dir, QStringLiteral("passing.png")))});
    const QPoint pos = f.view.viewport()->rect().center();

    // A drag passes over the list and leaves it again without dropping.
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.view.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDragLeaveEvent leave;
    leave.ignore();
    QCoreApplication::sendEvent(f.view.viewport(), &leave);
    QVERIFY(leave.isAccepted());
    QCOMPARE(f.model.rowCount(), EarlierRows);
}

// Without a picture list model behind it the view takes the drop and adds
// nothing anywhere.
void TestFileList::noPictureModel()
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(makeFile(dir, QStringLiteral("orphan.png")))});

    {
        FileList bare;
        QVERIFY(bare.acceptDrops());
        QVERIFY(dragAndDrop(bare, data));
    }
    {
        QStringListModel other(QStringList{QStringLiteral("x")});
        FileList view;
        view.setModel(&other);
        QVERIFY(dragAndDrop(view, data));
        QCOMPARE(other.stringList(), QStringList{QStringLiteral("x")});
    }
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
