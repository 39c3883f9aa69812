// The whole program against the bundled test site: pictures are added through
// the window (file dialog, clipboard, command line), commented, uploaded with
// the Upload button, and checked from the site's log and stored files.

#include "forms/messages.h"
#include "forms/upload.h"
#include "mainwindow/vemo.h"
#include "support/pictures.h"
#include "support/session.h"
#include "support/testsite.h"
#include "worker/curl.h"
#include "worker/transfer.h"
#include "worker/uploadthread.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>

namespace {

using Message = QPair<QString, QString>;

// The program's command line, as QCoreApplication::arguments() reads it.
int commandLineCount = 1;
char* commandLine[16];

void setCommandLine(const QStringList& arguments)
{
    static QList<QByteArray> storage;
    storage.clear();
    for (const QString& argument : arguments)
        storage.append(argument.toLocal8Bit());
    commandLineCount = 1;
    for (QByteArray& argument : storage)
        commandLine[commandLineCount++] = argument.data();
    commandLine[commandLineCount] = nullptr;
}

const char svgText[] = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"100\">"
                       "<rect width=\"200\" height=\"100\" fill=\"teal\"/>"
                       "<circle cx=\"100\" cy=\"50\" r=\"40\" fill=\"orange\"/></svg>";

// A main window in its own working directory, set up for the test site.
class Session
{
public:
    Session(const TestSite& site, const QByteArray& settings)
        : work("website=" + site.url().toLatin1() +
               "\nusername=admin\npassword=secret\ncategory=7\n" + settings)
    {
        messages::setHandler([this](const QString& t, const QString& m) { seen.append({t, m}); });
        window = std::make_unique<Vemo>();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        list = window->findChild<QTreeView*>("filelist");
        QVERIFY(settle());
    }
    ~Session()
    {
        window.reset();
        messages::setHandler({});
    }

    QString path(const QString& name) const { return pics.filePath(name); }
    QStandardItemModel* model() const { return qobject_cast<QStandardItemModel*>(list->model()); }
    template <typename T> T* child(const char* name) const
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    bool settle() { return ::settle(window->worker()); }

    // Presses "add" and lets `answer` handle the real file dialog that opens.
    void withFileDialog(const std::function<void(QFileDialog*)>& answer)
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                poll.stop();
                answer(dialog);
            }
        });
        poll.start(20);
        QTest::mousePress(child<QPushButton>("butadd"), Qt::LeftButton);
        QTest::mouseRelease(child<QPushButton>("butadd"), Qt::LeftButton);
    }

    // Chooses `names` (in the pictures folder) in the file dialog of "add".
    void addByDialog(const QStringList& names)
    {
        withFileDialog([&](QFileDialog* dialog) {
            dialog->setDirectory(pics.path());
            QStringList quoted;
            for (const QString& name : names)
                quoted << "\"" + name + "\"";
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(quoted.join(' '));
            static_cast<QDialog*>(dialog)->accept(); // runs the file dialog's own accept
        });
    }

    void addClipboard(const QImage& image)
    {
        QApplication::clipboard()->setImage(image);
        QTest::mousePress(child<QPushButton>("butaddclipboard"), Qt::LeftButton);
    }

    // Types `text` into the comment cell of `row`, as a user does.
    void typeComment(int row, const QString& text)
    {
        const QModelIndex index = model()->index(row, 1);
        list->setCurrentIndex(index);
        list->edit(index);
        QLineEdit* editor = nullptr;
        for (QLineEdit* candidate : list->viewport()->findChildren<QLineEdit*>()) {
            if (candidate->isVisible())
                editor = candidate;
        }
        QVERIFY(editor);
        editor->selectAll();
        editor->insert(text); // typed text, non-ASCII letters included
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(index.data().toString(), text); // committed on the next turn of the loop
    }

    void upload()
    {
        QTest::mousePress(child<QPushButton>("butupload"), Qt::LeftButton);
        QTest::mouseRelease(child<QPushButton>("butupload"), Qt::LeftButton);
    }

    WorkDir work;
    QTemporaryDir pics;
    std::unique_ptr<Vemo> window;
    QTreeView* list = nullptr;
    QList<Message> seen;
};

// The parts of one logged upload, by name, in wire order.
QStringList partNames(const QJsonObject& upload)
{
    QStringList names;
    for (const QJsonValue& part : upload.value("parts").toArray())
        names << part.toObject().value("name").toString();
    return names;
}

QJsonObject part(const QJsonObject& upload, const QString& name)
{
    for (const QJsonValue& p : upload.value("parts").toArray()) {
        if (p.toObject().value("name").toString() == name)
            return p.toObject();
    }
    return {};
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { setCommandLine({}); }
    void batch_data();
    void batch();
    void cancelWhileThirdOfFiveIsSent();
    void failuresDoNotStopTheBatch();
    void clipboard();
    void removeRowsSelectedInAnyOrder();
    void commandLine();
    void preview();
    void fileDialogRemembersDirectory();

private:
    curl::Global curlGlobal;
};

void EndToEndTest::batch_data()
{
    QTest::addColumn<bool>("resize");
    QTest::newRow("resizing off") << false;
    QTest::newRow("resizing on, 800x600") << true;
}

// One batch with every kind of row; what the site stored is checked picture by
// picture.
void EndToEndTest::batch()
{
    QFETCH(bool, resize);

    TestSite site;
    QVERIFY(site.start());
    Session s(site, resize ? "resize=2\nmaxwidth=800\nmaxheight=600\n" : "resize=0\n");

    struct Row
    {
        QString name;
        QString comment;
        QString sentComment;
        QSize sentSize;   // of the decoded picture that arrived
        bool asStored;    // the file's own bytes arrived
        const char* type; // the part's content type
    };
    const QString coffee = QString::fromUtf8("Kaffee \u2615 time");
    QList<Row> rows;
    QVERIFY(pictures::write(pictures::pattern(640, 480), s.path("photo.jpg")));
    QVERIFY(pictures::write(pictures::pattern(300, 200), s.path("plan.png")));
    QFile svg(s.path("drawing.svg"));
    QVERIFY(svg.open(QIODevice::WriteOnly) && svg.write(svgText) > 0);
    svg.close();
    QVERIFY(QFile::copy(s.path("drawing.svg"), s.path("LOUD.SVG")));
    // Stored lying on its side; the camera's Exif tag says "turn right".
    QFile exif(s.path("portrait.jpg"));
    QVERIFY(exif.open(QIODevice::WriteOnly));
    exif.write(pictures::withOrientation(pictures::jpeg(pictures::pattern(640, 480)), 6));
    exif.close();

    if (!resize) {
        rows = {{"photo.jpg", "Tom & Jerry", "Tom & Jerry", {640, 480}, true, "image/jpeg"},
                {"plan.png",
                 QString::fromUtf8("Grüße aus Köln"),
                 QString::fromUtf8("Grüße aus Köln"),
                 {300, 200},
                 true,
                 "image/png"},
                {"drawing.svg", coffee, "Kaffee &#9749; time", {200, 100}, false, "image/svg+xml"},
                {"LOUD.SVG", "", "", {}, true, "image/svg+xml"},
                {"portrait.jpg", "upright?", "upright?", {480, 640}, true, "image/jpeg"}};
    } else {
        QVERIFY(pictures::write(pictures::pattern(3000, 2000), s.path("wide.jpg")));
        QVERIFY(pictures::write(pictures::pattern(2000, 3000), s.path("tall.jpg")));
        QVERIFY(pictures::write(pictures::pattern(900, 100), s.path("strip.png")));
        rows = {{"wide.jpg", "", "", {800, 533}, false, "image/jpeg"},
                {"tall.jpg", "", "", {400, 600}, false, "image/jpeg"},
                {"strip.png", "", "", {800, 88}, false, "image/png"},
                {"photo.jpg", "", "", {640, 480}, false, "image/jpeg"},
                {"LOUD.SVG", "", "", {200, 100}, false, "image/svg+xml"},
                {"portrait.jpg", "", "", {450, 600}, false, "image/jpeg"}};
    }
    QStringList names;
    for (const Row& row : rows)
        names << row.name;
    s.addByDialog(names);
    QCOMPARE(s.model()->rowCount(), rows.size());
    const QImage clip = pictures::pattern(resize ? 1600 : 320, resize ? 1200 : 240);
    s.addClipboard(clip);
    rows.append({"clipboard.jpg", "clip", "clip", resize ? QSize(800, 600) : QSize(320, 240), false,
                 "image/jpeg"});
    for (int r = 0; r < rows.size(); ++r) {
        if (!rows[r].comment.isEmpty())
            s.typeComment(r, rows[r].comment);
    }

    s.upload();
    QVERIFY(s.settle());
    QCOMPARE(s.seen, QList<Message>());
    QCOMPARE(s.model()->rowCount(), rows.size()); // the list stays as it was

    const QList<QJsonObject> uploads = site.log("upload");
    QCOMPARE(uploads.size(), rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        const QJsonObject upload = uploads[r];
        const QByteArray caseNameBytes = row.name.toUtf8();
        const char* caseName = caseNameBytes.constData();
        QCOMPARE(upload.value("result").toString(), QString("ok"));
        QCOMPARE(upload.value("category").toInt(), 7);
        QCOMPARE(partNames(upload), QStringList({"file[]", "besch[]", "hochladen", "submit"}));
        QCOMPARE(part(upload, "hochladen").value("value").toString(), QString("yes"));
        QCOMPARE(part(upload, "submit").value("value").toString(), QString("Absenden"));
        QCOMPARE(part(upload, "besch[]").value("value").toString(), row.sentComment);
        const QJsonObject file = part(upload, "file[]");
        QVERIFY2(file.value("filename").toString() == row.name, caseName);
        QVERIFY2(file.value("content_type").toString() == row.type, caseName);

        const QByteArray stored = WorkDir::bytesOf(upload.value("stored").toString());
        if (row.asStored) {
            QVERIFY2(stored == WorkDir::bytesOf(s.path(row.name)), caseName);
        } else {
            QVERIFY2(stored.startsWith("\xFF\xD8\xFF"), caseName); // a JPEG
            QVERIFY2(stored != WorkDir::bytesOf(s.path(row.name)), caseName);
        }
        if (row.sentSize.isValid()) {
            QImage arrived;
            QVERIFY(arrived.loadFromData(stored));
            if (!row.asStored || !row.name.endsWith(".jpg"))
                QVERIFY2(arrived.size() == row.sentSize, caseName);
        }
    }
}

void EndToEndTest::cancelWhileThirdOfFiveIsSent()
{
    TestSite site;
    QVERIFY(site.start());
    QVERIFY(site.setFault("upload", "stall", 3, 2));
    Session s(site, "resize=0\n");
    QStringList names;
    for (int i = 1; i <= 5; ++i) {
        names << QString("p%1.png").arg(i);
        QVERIFY(pictures::write(pictures::pattern(60, 40), s.path(names.last())));
    }
    s.addByDialog(names);
    QSignalSpy announced(s.window->worker(), &uploadThread::updateFilename);

    s.upload();
    QPointer<Upload> window = s.window->worker()->progressWindow();
    QVERIFY(window && window->isVisible());
    QVERIFY(site.waitForLog("upload", 3));
    QTest::mousePress(window->findChild<QPushButton*>("butcancel"), Qt::LeftButton);
    QVERIFY(s.settle());

    QVERIFY(!window);
    QCOMPARE(announced.size(), 3);
    QCOMPARE(announced.last().first().toString(), QString("p3.png"));
    const QList<QJsonObject> uploads = site.log("upload");
    QCOMPARE(uploads.size(), 3);
    QCOMPARE(part(uploads.last(), "file[]").value("filename").toString(), QString("p3.png"));
    QVERIFY(QFile::exists(uploads.last().value("stored").toString()));
    QCOMPARE(s.seen, QList<Message>());
}

// A refused picture and one whose file is gone are told; a broken picture with
// resizing on is skipped without a word; the pictures after each still go.
void EndToEndTest::failuresDoNotStopTheBatch()
{
    TestSite site;
    QVERIFY(site.start());
    QVERIFY(site.setFault("upload", "refuse", 2));
    Session s(site, "resize=0\n");
    for (const char* name : {"a.png", "refused.png", "gone.png", "c.png"})
        QVERIFY(pictures::write(pictures::pattern(50, 50), s.path(name)));
    s.addByDialog({"a.png", "refused.png", "gone.png", "c.png"});
    QVERIFY(QFile::remove(s.path("gone.png")));
    s.upload();
    QVERIFY(s.settle());
    QCOMPARE(s.seen, QList<Message>({{"file upload error", "could not upload file"},
                                     {"curl", transfer::describe(CURLE_READ_ERROR)}}));
    QStringList arrived;
    for (const QJsonObject& upload : site.log("upload")) {
        if (upload.value("result").toString() == "ok")
            arrived << part(upload, "file[]").value("filename").toString();
    }
    QCOMPARE(arrived, QStringList({"a.png", "c.png"}));

    // Resizing on: a file that is no picture is skipped silently.
    s.seen.clear();
    QVERIFY(site.clearFaults());
    s.child<QCheckBox>("checkresize")->setChecked(true);
    QFile broken(s.path("broken.jpg"));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture at all") > 0);
    broken.close();
    while (s.model()->rowCount() > 0)
        s.model()->removeRow(0);
    s.addByDialog({"broken.jpg", "c.png"});
    const int before = int(site.log("upload").size());
    s.upload();
    QVERIFY(s.settle());
    QCOMPARE(s.seen, QList<Message>());
    const QList<QJsonObject> uploads = site.log("upload").mid(before);
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(part(uploads.first(), "file[]").value("filename").toString(), QString("c.png"));
}

void EndToEndTest::clipboard()
{
    TestSite site;
    QVERIFY(site.start());
    Session s(site, "");
    QApplication::clipboard()->clear();
    QTest::mousePress(s.child<QPushButton>("butaddclipboard"), Qt::LeftButton);
    QCOMPARE(s.seen, QList<Message>({{"Vemo", "no image found"}}));
    QCOMPARE(s.model()->rowCount(), 0);

    s.addClipboard(pictures::pattern(30, 20));
    QTest::mousePress(s.child<QPushButton>("butaddclipboard"), Qt::LeftButton);
    QCOMPARE(s.model()->rowCount(), 2);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(s.model()->index(r, 0).data().toString(), QString("clipboard.jpg"));
        QCOMPARE(s.model()->index(r, 2).data().toString(), QString());
        QCOMPARE(s.model()->index(r, 3).data().value<QImage>().size(), QSize(30, 20));
        QVERIFY(s.model()->flags(s.model()->index(r, 0)) & Qt::ItemIsEditable);
        QVERIFY(s.model()->flags(s.model()->index(r, 1)) & Qt::ItemIsEditable);
        QVERIFY(!(s.model()->flags(s.model()->index(r, 2)) & Qt::ItemIsEditable));
    }
}

void EndToEndTest::removeRowsSelectedInAnyOrder()
{
    TestSite site;
    QVERIFY(site.start());
    Session s(site, "");
    QStringList names;
    for (int i = 0; i < 5; ++i) {
        names << QString("r%1.png").arg(i);
        QVERIFY(pictures::write(pictures::pattern(20, 20), s.path(names.last())));
    }
    s.addByDialog(names);
    QCOMPARE(s.model()->rowCount(), 5);
    auto* del = s.child<QPushButton>("butdel");

    QTest::mousePress(del, Qt::LeftButton); // nothing selected: nothing happens
    QCOMPARE(s.model()->rowCount(), 5);

    for (int row : {3, 0, 2}) {
        const QRect cell = s.list->visualRect(s.model()->index(row, 0));
        QTest::mouseClick(s.list->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
    }
    QTest::mousePress(del, Qt::LeftButton);
    QStringList left;
    for (int r = 0; r < s.model()->rowCount(); ++r)
        left << s.model()->index(r, 0).data().toString();
    QCOMPARE(left, QStringList({"r1.png", "r4.png"}));
}

void EndToEndTest::commandLine()
{
    setCommandLine({"C:\\pics\\a.png", "photo.JPG", "archive.zip", "noext", "png", "x.tar.Png"});
    TestSite site;
    QVERIFY(site.start());
    Session s(site, "");
    QStringList files, paths;
    for (int r = 0; r < s.model()->rowCount(); ++r) {
        files << s.model()->index(r, 0).data().toString();
        paths << s.model()->index(r, 2).data().toString();
    }
    QCOMPARE(files, QStringList({"a.png", "photo.JPG", "png", "x.tar.Png"}));
    QCOMPARE(paths, QStringList({"C:\\pics\\a.png", "photo.JPG", "png", "x.tar.Png"}));
    QVERIFY(!(s.model()->flags(s.model()->index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(s.model()->flags(s.model()->index(0, 1)) & Qt::ItemIsEditable);
}

void EndToEndTest::preview()
{
    TestSite site;
    QVERIFY(site.start());
    Session s(site, "");
    QVERIFY(pictures::write(pictures::pattern(400, 200), s.path("land.png")));
    QVERIFY(pictures::write(pictures::pattern(50, 40), s.path("small.png")));
    QFile exif(s.path("side.jpg"));
    QVERIFY(exif.open(QIODevice::WriteOnly));
    exif.write(pictures::withOrientation(pictures::jpeg(pictures::pattern(300, 150)), 6));
    exif.close();
    s.addByDialog({"land.png", "small.png", "side.jpg"});
    auto* view = s.child<QLabel>("imgview");
    auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(s.list->viewport(), Qt::LeftButton, modifiers,
                          s.list->visualRect(s.model()->index(row, 0)).center());
    };

    click(0);
    QCOMPARE(view->pixmap().size(), QSize(100, 50));
    click(1, Qt::ControlModifier); // two rows: the preview stays
    QCOMPARE(view->pixmap().size(), QSize(100, 50));
    click(1);
    QCOMPARE(view->pixmap().size(), QSize(100, 80)); // small pictures are enlarged
    click(2);
    QCOMPARE(view->pixmap().size(), QSize(50, 100)); // turned upright
    QVERIFY(QFile::remove(s.path("land.png")));
    click(0);
    QVERIFY(view->pixmap().isNull()); // a file gone from disk shows nothing
    QCOMPARE(s.model()->rowCount(), 3);
}

void EndToEndTest::fileDialogRemembersDirectory()
{
    TestSite site;
    QVERIFY(site.start());
    Session s(site, "");
    QVERIFY(pictures::write(pictures::pattern(20, 20), s.path("one.png")));
    QSettings stored("vemo.ini", QSettings::IniFormat);

    // A cancelled dialog changes nothing.
    s.withFileDialog([](QFileDialog* dialog) { dialog->reject(); });
    QCOMPARE(s.model()->rowCount(), 0);
    QVERIFY(!stored.contains("directory"));

    s.addByDialog({"one.png"});
    QCOMPARE(s.model()->rowCount(), 1);
    QCOMPARE(QDir(stored.value("directory").toString()), QDir(s.pics.path()));

    // The next dialog opens there.
    QString openedIn;
    s.withFileDialog([&](QFileDialog* dialog) {
        openedIn = dialog->directory().path();
        dialog->reject();
    });
    QCOMPARE(QDir(openedIn), QDir(s.pics.path()));
}

int main(int argc, char** argv)
{
    commandLine[0] = argv[0];
    commandLine[1] = nullptr;
    QApplication app(commandLineCount, commandLine);
    EndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
