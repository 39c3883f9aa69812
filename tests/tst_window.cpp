// The program through its window against the bundled test site: settings,
// links, the category tree, the picture list (dialog, clipboard, drops, command
// line, preview) and batches with their progress window and messages.

#include "core/batch/results.h"
#include "core/batch/uploadthread.h"
#include "core/pictures/picturelist.h"
#include "core/site/curl.h"
#include "core/site/transfer.h"
#include "forms/messages.h"
#include "forms/upload.h"
#include "mainwindow/vemo.h"
#include "support/pictures.h"
#include "support/session.h"
#include "support/testsite.h"
#include "support/tree.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTemporaryFile>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

using Message = QPair<QString, QString>;

// The program's command line, as QCoreApplication::arguments() reads it.
int argumentCount = 1;
char* arguments[16];

void setCommandLine(const QStringList& list)
{
    static QList<QByteArray> storage;
    storage.clear();
    for (const QString& argument : list)
        storage.append(argument.toLocal8Bit());
    argumentCount = 1;
    for (QByteArray& argument : storage)
        arguments[argumentCount++] = argument.data();
    arguments[argumentCount] = nullptr;
}

// A main window in its own working directory with `ini`, its messages
// collected instead of shown.
class Session
{
public:
    explicit Session(const QByteArray& ini = QByteArray()) : work(ini)
    {
        messages::setHandler([this](const QString& t, const QString& m) { seen.append({t, m}); });
        messages::setAnswerer([this](const QString&, const QString& q, const QStringList&) {
            asked.append(q);
            return answer;
        });
        window = std::make_unique<Vemo>();
        window->show();
        window->activateWindow();
        list = child<QTreeView>("filelist");
        settle();
    }
    Session(const TestSite& site, const QByteArray& ini)
        : Session("website=" + site.url().toLatin1() +
                  "\nusername=admin\npassword=secret\ncategory=7\n" + ini)
    {
    }
    ~Session()
    {
        window.reset();
        messages::setHandler({});
        messages::setAnswerer({});
    }

    template <typename T> T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }
    QString path(const QString& name) const { return pics.filePath(name); }
    QStandardItemModel* model() const { return qobject_cast<QStandardItemModel*>(list->model()); }
    QString stored(const char* key) const
    {
        return QSettings(work.iniPath(), QSettings::IniFormat).value(key).toString();
    }
    QStringList column(int c) const
    {
        QStringList cells;
        for (int r = 0; r < model()->rowCount(); ++r)
            cells << model()->index(r, c).data().toString();
        return cells;
    }

    // Waits until the worker is idle and no progress window is left.
    void settle()
    {
        QDeadlineTimer deadline(60000);
        while ((window->worker()->isRunning() || window->progressWindow()) &&
               !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents(); // what the run's end left queued
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window->worker()->isRunning() && !window->progressWindow());
    }
    void press(const char* button)
    {
        QTest::mousePress(child<QPushButton>(button), Qt::LeftButton);
        QTest::mouseRelease(child<QPushButton>(button), Qt::LeftButton);
    }
    void click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualRect(model()->index(row, 0)).center());
    }
    // Presses "add" and lets `answer` handle the real file dialog.
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
        press("butadd");
        window->activateWindow(); // the dialog had the focus
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void addByDialog(const QStringList& names)
    {
        withFileDialog([&](QFileDialog* dialog) {
            dialog->setDirectory(pics.path());
            dialog->findChild<QLineEdit*>("fileNameEdit")
                ->setText("\"" + names.join("\" \"") + "\"");
            static_cast<QDialog*>(dialog)->accept();
        });
    }
    void write(const QString& name, const QSize& size, const QByteArray& bytes = {})
    {
        QVERIFY(bytes.isNull()
                    ? pictures::write(pictures::pattern(size.width(), size.height()), path(name))
                    : pictures::writeFile(path(name), bytes));
    }

    WorkDir work;
    QTemporaryDir pics;
    QList<Message> seen;
    QStringList asked; // the questions asked
    int answer = 1;    // the button pressed: "Send all" for the one about pictures sent before
    std::unique_ptr<Vemo> window;
    QTreeView* list = nullptr;
};

QString filename(const QJsonObject& upload)
{
    for (const QJsonValue& part : upload.value("parts").toArray()) {
        if (part.toObject().value("name").toString() == "file[]")
            return part.toObject().value("filename").toString();
    }
    return {};
}

QStringList arrived(const TestSite& site)
{
    QStringList names;
    for (const QJsonObject& upload : site.log("upload")) {
        if (upload.value("result").toString() == "ok")
            names << filename(upload);
    }
    return names;
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl& url) { opened = url; }

private slots:
    void init() { setCommandLine({}); }
    void cleanup() { messages::setAsker({}); }
    void settings_data();
    void settings();
    void settingsFile();
    void categoryTree();
    void categoryIds_data();
    void categoryIds();
    void unknownCategory_data();
    void unknownCategory();
    void firstRun_data();
    void firstRun();
    void batch();
    void results_data();
    void results();
    void cancel_data();
    void cancel();
    void workingList();
    void pictureList();
    void keyboard_data();
    void keyboard();
    void drops_data();
    void drops();

private:
    curl::Global curlGlobal;
    QUrl opened;
};

void WindowTest::settings_data()
{
    for (const char* column : {"ini", "field", "typed", "key", "stored", "shown", "link"})
        QTest::addColumn<QString>(column); // typed: null for none; link: null for no check
    const auto row = [](const char* tag, const QStringList& values) {
        QTest::newRow(tag) << values[0] << values[1] << values[2] << values[3] << values[4]
                           << values[5] << values.value(6);
    };
    const QString site = "http://x.org/%1?a=1&b=\"2\"/", none;
    row("first start: width", {none, "maxWidth", none, "maxwidth", "1000", "1000"});
    row("first start: website", {none, "website", none, "website", "", ""});
    row("typed website, stored clean", {"category=7", "website", site, "website", "http://x.org/%1",
                                        site, "http://x.org/%1/index.php?gallery-7"});
    row("typed password", {none, "password", "pw=1&x", "password", "pw=1&x", "pw=1&x"});
    row("emptied height", {"maxheight=600", "maxHeight", "", "maxheight", "", ""});
    row("category above 999", {"category=1500", "category", none, "category", "1500", "1500"});
    row("non-zero resize checks", {"resize=1", "checkresize", none, "resize", "2", "checked"});
}

// Each setting shows in its widget at start, and every change is stored at once.
void WindowTest::settings()
{
    QFETCH(QString, ini);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, link);

    Session s(ini.isNull() ? QByteArray() : ini.toUtf8() + "\n");
    QWidget* widget = s.window->findChild<QWidget*>(field);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (!typed.isNull()) {
            edit->selectAll();
            edit->del();
            QTest::keyClicks(edit, typed);
        }
        QCOMPARE(edit->text(), shown);
    } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        QCOMPARE(box->isChecked(), shown == "checked");
    } else {
        QCOMPARE(qobject_cast<QSpinBox*>(widget)->text(), shown);
    }
    QCOMPARE(s.stored(qPrintable(key)), stored);
    if (!stored.isEmpty())
        QTRY_VERIFY(s.work.iniText().contains(key.toLatin1() + "="));
    if (!link.isNull()) { // the label's own HTML parser gives the address
        QTextDocument doc;
        doc.setHtml(s.child<QLabel>("glink")->text());
        QCOMPARE(doc.begin().begin().fragment().charFormat().anchorHref(), link);
    }
}

void WindowTest::settingsFile()
{
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                        QFileDevice::WriteOther;
    for (const bool existed : {false, true}) {
        Session s(existed ? QByteArray("password=old\n") : QByteArray());
        if (existed)
            QFile::setPermissions(s.work.iniPath(), QFile::permissions(s.work.iniPath()) | others);
        s.window.reset();
        s.window = std::make_unique<Vemo>();
        QTest::keyClicks(s.child<QLineEdit>("password"), "new");
        QTRY_VERIFY(s.work.iniText().contains("new")); // rewritten while the program runs
        QVERIFY2((QFile::permissions(s.work.iniPath()) & others) == 0, existed ? "old" : "new");
        s.window.reset();
        QVERIFY2((QFile::permissions(s.work.iniPath()) & others) == 0, existed ? "old" : "new");
    }
    Session s; // a file that cannot be written is told of, once
    s.window.reset();
    QVERIFY(QFile::remove(s.work.iniPath()) && QDir().mkdir(s.work.iniPath()));
    s.window = std::make_unique<Vemo>();
    QTest::keyClicks(s.child<QLineEdit>("password"), "new");
    QCoreApplication::processEvents();
    QVERIFY(s.seen.size() == 1 && s.seen[0].second.contains("cannot be saved"));
}

// The tree comes from the fetch at start and again on "Update"; a page without
// categories keeps it and is told once. For screen readers the tree has no id
// column, every control of the windows has a name, and every label that names
// a field is that field's buddy.
void WindowTest::categoryTree()
{
    TestSite site;
    QVERIFY(site.start());
    Session s(site, "");
    auto* catlist = s.child<QTreeView>("catlist");
    const auto* model = qobject_cast<QSortFilterProxyModel*>(catlist->model())->sourceModel();
    const QString tree = QString::fromUtf8(
        "Allgemein:3,Urlaub & Reisen:7(Italien:12(Rom & Umgebung:45),Fränkische Schweiz:13),"
        "Tom & Jerry:250(Cartoons <alt>:251),Archiv 2006:1200");
    QCOMPARE(renderTree(model), tree);
    QVERIFY(site.setFault("gallery", "no-categories", 1));
    s.press("butcat");
    s.settle();
    QCOMPARE(renderTree(model), tree);
    QCOMPARE(s.seen, QList<Message>({{"error", "no Categories found"}}));

    QCOMPARE(QAccessible::queryAccessibleInterface(catlist)->tableInterface()->columnCount(), 1);
    Upload progress;
    for (QWidget* top : {static_cast<QWidget*>(s.window.get()), static_cast<QWidget*>(&progress)}) {
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (w->objectName().startsWith("qt_")) // the toolkit's own parts
                continue;
            if (w->inherits("QAbstractButton") || w->inherits("QLineEdit") ||
                w->inherits("QAbstractSpinBox") || w->inherits("QTreeView") ||
                w->inherits("QProgressBar") || w->objectName() == "imgview")
                QVERIFY2(
                    !QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty(),
                    qPrintable(w->objectName()));
            // A button's caption is short; its description says what it does.
            QVERIFY2(!w->inherits("QPushButton") || !w->accessibleDescription().isEmpty(),
                     qPrintable(w->objectName()));
            // Plain text in the main window names a field; the links and the notice do not.
            auto* label = qobject_cast<QLabel*>(w);
            if (label && top != &progress && label->textFormat() != Qt::RichText &&
                !label->text().isEmpty())
                QVERIFY2(label->buddy() && label->buddy()->focusPolicy() != Qt::NoFocus,
                         qPrintable(label->objectName()));
        }
    }
    // The links are reached with Tab, told as links and opened with Enter;
    // Alt+E reaches the category.
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    QDesktopServices::setUrlHandler("http", this, "openUrl");
    s.child<QPushButton>("butdel")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), s.child<QLabel>("glink"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(opened, QUrl(site.url() + "/index.php?gallery-7"));
    QDesktopServices::unsetUrlHandler("http");
    for (const char* link : {"glink", "gadminlink"})
        QCOMPARE(QAccessible::queryAccessibleInterface(s.child<QLabel>(link))->role(),
                 QAccessible::Link);
    QTest::keyClick(s.window.get(), Qt::Key_E, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), s.child<QSpinBox>("category"));
}

void WindowTest::categoryIds_data()
{
    QTest::addColumn<QString>("stored"); // in vemo.ini at start
    QTest::addColumn<int>("id");         // then picked in the tree
    QTest::addColumn<bool>("byKey");     // by typing its name, else by a click
    QTest::newRow("0") << "1200" << 0 << false;
    QTest::newRow("999") << "0" << 999 << true;
    QTest::newRow("1000") << "2147483647" << 1000 << false;
    QTest::newRow("1200") << "999" << 1200 << true;
    QTest::newRow("2147483647") << "1000" << 2147483647 << false;
    QTest::newRow("stored negative") << "-5" << 999 << true;
}

// Tree, number field, stored value and the upload's category stay in step.
void WindowTest::categoryIds()
{
    QFETCH(QString, stored);
    QFETCH(int, id);
    QFETCH(bool, byKey);
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("0\t0\tA\n0\t999\tB\n1\t1000\tC\n2\t1200\tD\n0\t2147483647\tE\n");
    file.flush();
    TestSite site({"admin", "secret", {"--categories", file.fileName()}});
    QVERIFY(site.start());
    Session s("website=" + site.url().toLatin1() +
              "\nusername=admin\npassword=secret\ncategory=" + stored.toLatin1() + "\n");
    const QMap<int, QString> names{
        {0, "A"}, {999, "B"}, {1000, "C"}, {1200, "D"}, {2147483647, "E"}};
    auto* tree = s.child<QTreeView>("catlist");
    const auto selected = [&] { return tree->selectionModel()->selectedRows().value(0).data(); };
    QCOMPARE(s.child<QSpinBox>("category")->value(), qMax(0, stored.toInt()));
    QCOMPARE(s.stored("category"), stored);
    QCOMPARE(selected().toString(), names.value(stored.toInt()));

    const QAbstractItemModel* model = tree->model();
    const QModelIndex row =
        model->match(model->index(0, 0), 0, names[id], 1, Qt::MatchRecursive).value(0);
    if (byKey)
        QTest::keyClick(tree, names[id].at(0).toLatin1()); // the tree's search by name
    else
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(row).center());
    QCOMPARE(s.child<QSpinBox>("category")->value(), id);
    QCOMPARE(s.stored("category"), QString::number(id));
    for (const int typed : {5, qMax(0, stored.toInt()), id}) {
        s.child<QSpinBox>("category")->selectAll();
        QTest::keyClicks(s.child<QSpinBox>("category"), QString::number(typed));
        QCOMPARE(selected().toString(), names.value(typed));
    }

    QApplication::clipboard()->setImage(pictures::pattern(20, 20));
    QTest::keyClick(s.window.get(), Qt::Key_V, Qt::ControlModifier);
    // The number field's own Ctrl+U (delete to the start) does not win.
    QTest::keyClick(s.child<QSpinBox>("category"), Qt::Key_U, Qt::ControlModifier);
    s.settle();
    QCOMPARE(site.log("upload").value(0).value("category").toInt(), id);
    QCOMPARE(s.child<QSpinBox>("category")->text(), QString::number(id));
}

void WindowTest::unknownCategory_data()
{
    QTest::addColumn<bool>("treeRead");
    QTest::newRow("tree read: flagged, asked first") << true;
    QTest::newRow("no tree: nothing refused") << false;
}

// A category the site's tree does not list is flagged next to the field, and
// Upload and Retry failed ask before they send; without a tree, they do not.
void WindowTest::unknownCategory()
{
    QFETCH(bool, treeRead);
    TestSite site;
    QVERIFY(site.start() && (treeRead || site.setFault("gallery", "no-categories")));
    Session s(site, "");
    s.child<QSpinBox>("category")->selectAll();
    QTest::keyClicks(s.child<QSpinBox>("category"), "8");
    QCOMPARE(s.child<QLabel>("catwarning")->isVisible(), treeRead);
    QApplication::clipboard()->setImage(pictures::pattern(20, 20));
    s.press("butaddclipboard");
    QStringList asked;
    for (const bool yes : {false, true}) {
        messages::setAsker([&asked, yes](const QString&, const QString& text) {
            asked << text;
            return yes;
        });
        s.press("butupload");
        s.settle();
        QCOMPARE(site.log("upload").size(), int(yes) + int(!treeRead));
    }
    const QString question = "Category 8 is not in the site's gallery. Upload anyway?";
    QCOMPARE(asked, QStringList(treeRead ? 2 : 0, question));
    QCOMPARE(site.log("upload").value(0).value("category").toInt(), 8);
    s.press("butretry"); // the site has no category 8: the picture failed
    s.settle();
    QCOMPARE(asked.size(), treeRead ? 3 : 0);
}

void WindowTest::firstRun_data()
{
    QTest::addColumn<bool>("withSite");
    QTest::newRow("no site") << false;
    QTest::newRow("site, no user") << true;
}

// No login is tried before there is one; the Options tab asks for it, and the
// login typed there is tried once typing has stopped.
void WindowTest::firstRun()
{
    QFETCH(bool, withSite);
    TestSite site;
    QVERIFY(site.start());
    Session s(withSite ? "website=" + site.url().toLatin1() + "\n" : QByteArray());
    QVERIFY(site.log().isEmpty() && s.seen.isEmpty());
    QVERIFY(s.child<QWidget>("tab_2")->isVisible()); // the Options tab
    QVERIFY(s.child<QLabel>("label_7")->text().contains("Enter the address of your site"));

    auto* password = s.child<QLineEdit>("password");
    s.child<QLineEdit>("website")->setText("http://"); // half typed: nothing is tried
    QTest::keyClicks(s.child<QLineEdit>("username"), "admin");
    QTest::keyClicks(password, "secret", {}, 20);
    QTest::qWait(1500);
    QVERIFY(site.log().isEmpty());
    s.child<QLineEdit>("website")->setText(site.url() + "/");
    QVERIFY(site.waitForLog("gallery", 1));
    QTest::keyClicks(password, "\bt"); // as fetched: not again
    QTest::qWait(1500);
    QCOMPARE(site.log().size(), 2);  // one login, one gallery page
    QTest::keyClicks(password, "x"); // a failure is told on the tab, in no box
    QTRY_COMPARE(s.child<QLabel>("loginstatus")->text(), QString("login error: could not log in"));
    QVERIFY(s.child<QLabel>("loginstatus")->isVisible() && s.seen.isEmpty());
}

// Every kind of row, scaled to 800x600, one commented through the list's
// editor; the modal progress window only hides when closed.
void WindowTest::batch()
{
    TestSite site;
    QVERIFY(site.start());
    Session s(site, "resize=2\nmaxwidth=800\nmaxheight=600\n");
    s.write("wide.jpg", {1200, 900});
    s.write("plan.png", {300, 200});
    s.write("drawing.svg", {},
            "<svg xmlns='http://www.w3.org/2000/svg' width='200' height='100'>"
            "<rect width='200' height='100' fill='teal'/></svg>");
    // Stored lying on its side; its Exif orientation says "turn right".
    s.write("side.jpg", {},
            pictures::withMetadata(pictures::jpeg(pictures::pattern(640, 480)),
                                   {"Exif.Image.Orientation=6"}));
    s.addByDialog({"wide.jpg", "plan.png", "drawing.svg", "side.jpg"});
    QApplication::clipboard()->setImage(pictures::pattern(1600, 1200));
    s.press("butaddclipboard");
    // Ctrl+U in the comment editor stores the comment and sends it along.
    s.click(1);
    QTest::keyClick(s.list, Qt::Key_F2);
    for (const QChar c : QString::fromUtf8("Grüße ☕"))
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, c, {});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_U, Qt::ControlModifier);
    QPointer<Upload> window = s.window->progressWindow();
    QVERIFY(window && window->isVisible() && window->isModal());
    QList<int> shares; // of the batch, as its bar shows them: never going back
    auto* bar = window->findChild<QProgressBar*>("overallBar");
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) { shares << value; });
    window->close(); // only hides it: the batch goes on
    s.settle();
    QVERIFY(!window && s.seen.isEmpty());
    QVERIFY(std::is_sorted(shares.begin(), shares.end()) && shares.size() > 1);

    const QList<QSize> sizes{{800, 600}, {300, 200}, {200, 100}, {450, 600}, {800, 600}};
    const QList<QJsonObject> uploads = site.log("upload");
    QCOMPARE(arrived(site), s.column(0));
    for (int r = 0; r < 5; ++r) {
        QCOMPARE(uploads[r].value("category").toInt(), 7);
        QCOMPARE(QImage::fromData(pictures::readFile(uploads[r].value("stored").toString())).size(),
                 sizes[r]);
    }
    const QJsonArray parts = uploads[1].value("parts").toArray();
    QCOMPARE(parts[1].toObject().value("value").toString(), QString::fromUtf8("Grüße &#9749;"));
}

void WindowTest::results_data()
{
    QTest::addColumn<QString>("fault"); // the site's, during the first batch
    // Patterns: the rows' results after that batch and after Retry failed, the
    // summary, the titles of the messages shown and the reason (tool tip) of the
    // first row not sent (empty: libcurl's words, not checked). When the site
    // dies under the 2nd picture, libcurl may find that out on it or the 3rd.
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("titles");
    QTest::addColumn<QString>("reason");

    const auto row = [](const char* name, const char* fault, const char* results,
                        const char* summary, const char* titles, const char* reason = "") {
        QTest::newRow(name) << QString(fault) << QString(results) << QString(summary)
                            << QString(titles) << QString(reason);
    };
    row("refused 2nd", "upload:refuse:2", "sent failed sent sent;sent sent sent sent",
        "3 sent, 1 failed;4 sent", "file upload error", "could not upload file");
    row("connection dropped on the 3rd", "upload:close:3",
        "sent sent failed sent;sent sent sent sent", "3 sent, 1 failed;4 sent", "curl");
    row("not a picture, resizing on", "", "sent skipped sent sent;sent skipped sent sent",
        "3 sent, 1 skipped;3 sent, 1 skipped", "", "not a picture that can be read");
    row("vanished file", "", "sent sent failed sent;sent sent failed sent",
        "3 sent, 1 failed;3 sent, 1 failed", "", "does not exist");
    row("site gone while the 2nd is sent", "upload:stall:2:5",
        "sent failed (failed|not sent) not sent;sent sent sent sent",
        "1 sent, (1 failed, 2|2 failed, 1) not sent;4 sent", "curl( curl)?");
}

// Every row shows what became of it, the list a summary; Retry failed sends
// only the rows not sent, to the category shown, also once the site that went
// away is back. As with --upload-now, the window stays while some are not sent.
void WindowTest::results()
{
    QFETCH(QString, fault);
    QFETCH(QString, results);
    QFETCH(QString, summary);
    QFETCH(QString, titles);
    QFETCH(QString, reason);
    const auto matches = [](const QString& text, const QString& pattern) {
        return QRegularExpression("^(" + pattern + ")$").match(text).hasMatch();
    };
    TestSite site;
    QVERIFY(site.start());
    const QString tag = QTest::currentDataTag();
    Session s(site, tag.startsWith("not a picture") ? "resize=2\n" : "");
    for (const char* name : {"a.png", "b.png", "c.png", "d.png"})
        s.write(name, {50, 50},
                tag.startsWith("not a") && name[0] == 'b' ? "no picture" : QByteArray());
    s.addByDialog({"a.png", "b.png", "c.png", "d.png"});
    QFile::remove(tag.startsWith("vanished") ? s.path("c.png") : QString());
    if (!fault.isEmpty())
        QVERIFY(site.setFault(fault.section(':', 0, 0), fault.section(':', 1, 1),
                              fault.section(':', 2, 2).toInt(), fault.section(':', 3).toInt()));
    const auto shown = [&] {
        QStringList cells;
        for (int r = 0; r < 4; ++r)
            cells << results::word(
                results::Result(
                    s.model()->index(r, picturelist::Result).data(Qt::UserRole).toInt()),
                results::English);
        return cells.join(' ');
    };
    s.window->uploadAndClose();
    if (tag.startsWith("site gone")) {
        QVERIFY(site.waitForLog("upload", 2));
        site.kill();
    }
    s.settle();
    QVERIFY(s.window->isVisible() && !s.window->everyPictureSent());
    QVERIFY2(matches(shown(), results.section(';', 0, 0)), qPrintable(shown()));
    auto* shownSummary = s.child<QLabel>("summary");
    QVERIFY2(matches(shownSummary->text(), summary.section(';', 0, 0)),
             qPrintable(shownSummary->text()));
    QStringList seen;
    for (const Message& message : s.seen)
        seen << message.first;
    QVERIFY2(matches(seen.join(' '), titles), qPrintable(seen.join(' ')));
    QString why; // the first row's not sent
    for (int r = 0; r < 4 && why.isEmpty(); ++r)
        why = s.model()->index(r, picturelist::Result).data(Qt::ToolTipRole).toString();
    QVERIFY2(reason.isEmpty() || matches(why, reason), qPrintable(why));

    QVERIFY((tag.startsWith("site gone") ? site.start() : true) && site.clearFaults());
    const QString before = shown();
    const qsizetype sent = arrived(site).size();
    const qsizetype unsent = before.count("failed") + before.count("skipped") + before.count("not");
    s.child<QSpinBox>("category")->setValue(12);
    auto* retry = s.child<QPushButton>("butretry");
    QCOMPARE(retry->toolTip(), unsent == 1 ? QString("Send the picture not sent to category 12")
                                           : QString("Send the %1 pictures not sent to category "
                                                     "12")
                                                 .arg(unsent));
    s.press("butretry");
    s.settle();
    QCOMPARE(shown(), results.section(';', 1, 1));
    // Only the rows not sent went again; those that still fail stay to retry.
    QCOMPARE(arrived(site).size() - sent,
             before.count("failed") + before.count("not sent") - shown().count("failed"));
    QCOMPARE(site.log("upload").last().value("category").toInt(),
             arrived(site).size() > sent ? 12 : 7);
    QCOMPARE(shownSummary->text(), summary.section(';', 1, 1)); // of the whole list
    QCOMPARE(retry->isVisible(), !shown().contains("sent sent sent sent"));
    for (int r = 3; r >= 0; --r) // the rows not sent go: so do the failures told
        s.model()->removeRows(r, int(s.model()->index(r, picturelist::Result).data(Qt::UserRole) !=
                                     int(results::Sent)));
    QCOMPARE(shownSummary->text(), QString("%1 sent").arg(s.model()->rowCount()));
    QVERIFY(!retry->isVisible() && s.window->everyPictureSent());
}

void WindowTest::cancel_data()
{
    QTest::addColumn<int>("stall"); // seconds the 2nd upload is held
    QTest::addColumn<QString>("results");
    QTest::newRow("the picture under way finishes") << 2 << "sent sent not sent";
    QTest::newRow("a transfer still running 5 s later is aborted")
        << 60 << "sent not sent not sent";
}

// Cancel stops after the picture under way, but never waits longer than
// its grace time for it; the window tells while the site thinks.
void WindowTest::cancel()
{
    QFETCH(int, stall);
    QFETCH(QString, results);
    TestSite site;
    QVERIFY(site.start() && site.setFault("upload", "stall", 2, stall));
    Session s(site, "");
    for (const char* name : {"a.png", "b.png", "c.png"})
        s.write(name, {50, 50});
    s.addByDialog({"a.png", "b.png", "c.png"});
    s.press("butupload");
    QVERIFY(site.waitForLog("upload", 2));
    // The picture's bytes are there; the site holds its answer. Cancel tells
    // at once that it was heard.
    Upload* window = s.window->progressWindow();
    QTRY_COMPARE(window->findChild<QProgressBar*>("progressBar")->format(),
                 QString("waiting for the site…"));
    QElapsedTimer clock;
    clock.start();
    auto* cancel = window->findChild<QPushButton*>("butcancel");
    QTest::mousePress(cancel, Qt::LeftButton);
    QVERIFY(!cancel->isEnabled());
    QCOMPARE(window->findChild<QLabel*>("rate")->text(), QString("stopping after this picture…"));
    s.settle();
    QVERIFY(clock.elapsed() < (uploadThread::CancelGraceSeconds + 3) * 1000);
    QStringList shown;
    for (int r = 0; r < 3; ++r)
        shown << s.model()->index(r, picturelist::Result).data().toString();
    QCOMPARE(shown.join(' ').replace(" (cancelled)", ""), results);
    QVERIFY(s.seen.isEmpty());
}

// The list comes back at the next start as it was, also a comment still
// being typed; pictures sent before are asked about once and marked; Remove
// sent takes what is in the gallery off the list; a damaged list is set aside
// and told once.
void WindowTest::workingList()
{
    TestSite site;
    QVERIFY(site.start());
    Session s(site, "");
    for (const int width : {40, 50, 60})
        s.write(QString("%1.png").arg(width), {width, 30});
    s.addByDialog({"40.png", "50.png"});
    s.press("butupload");
    s.settle();
    s.addByDialog({"60.png"});
    s.list->edit(s.model()->index(2, 1));
    QTest::keyClicks(s.list->viewport()->findChild<QLineEdit*>(), QString::fromUtf8("Gruß"));
    const auto saved = [&] { return pictures::readFile(s.work.path() + "/vemo-list.json"); };
    QTRY_VERIFY_WITH_TIMEOUT(saved().contains("Gruß"), 1500); // the editor is still open
    QVERIFY(s.column(1).join("").isEmpty());

    s.answer = 0; // Skip them
    s.press("butupload");
    s.settle();
    QCOMPARE(s.asked, QStringList("2 of these 3 pictures were already sent to category 7. Send "
                                  "them again?"));
    QCOMPARE(arrived(site), QStringList({"40.png", "50.png", "60.png"}));
    QVERIFY(s.model()->item(0, picturelist::Result)->toolTip().startsWith("already sent on 20"));
    QCOMPARE(s.child<QLabel>("summary")->text(), "1 sent, 2 sent before");

    QFile::remove(s.path("50.png"));
    s.window.reset();
    s.window = std::make_unique<Vemo>();
    s.list = s.child<QTreeView>("filelist");
    QCOMPARE(s.column(0), QStringList({"40.png", "50.png", "60.png"}));
    QCOMPARE(s.column(1), QStringList({"", "", QString::fromUtf8("Gruß")}));
    QCOMPARE(s.column(picturelist::Result), QStringList({"sent before", "does not exist", "sent"}));
    s.press("butremovesent");
    QCOMPARE(s.column(0), QStringList({"50.png"}));

    s.window.reset();
    QVERIFY(pictures::writeFile(s.work.path() + "/vemo-list.json", "{\"vemo\":"));
    s.window = std::make_unique<Vemo>();
    s.list = s.child<QTreeView>("filelist");
    QTRY_COMPARE(s.seen.size(), 1);
    QVERIFY(s.seen[0].second.contains("kept as ") && s.model()->rowCount() == 0);
    QVERIFY(QFile::exists(s.work.path() + "/vemo-list.json.damaged"));
}

// Rows from the command line, the file dialog and the clipboard; removal;
// the preview.
void WindowTest::pictureList()
{
    setCommandLine({"pics/back\\slash.png", "photo.JPG", "archive.zip", "noext", "x.tar.Png"});
    Session s;
    QTest::keyClick(s.window.get(), Qt::Key_G, Qt::AltModifier); // to the Gallery tab
    const QString name = QDir::separator() == '/' ? "back\\slash.png" : "slash.png";
    QCOMPARE(s.column(0), QStringList({name, "photo.JPG", "x.tar.Png"}));
    QCOMPARE(s.column(2), QStringList({"pics/back\\slash.png", "photo.JPG", "x.tar.Png"}));
    QCOMPARE(s.column(picturelist::Result).value(0), QString("does not exist")); // told at once
    s.model()->removeRows(0, 3);

    QStringList filters;
    s.withFileDialog([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        dialog->reject();
    });
    QCOMPARE(s.model()->rowCount(), 0);
    QCOMPARE(filters.value(1), QString("All files (*)"));
    for (const char* pattern : {"(*.jpg *.gif *.bmp *.png *.tif *.tiff *.xpm *.svg *.", " *.webp"})
        QVERIFY2(filters.value(0).count(pattern) == 1, pattern);
    QVERIFY(s.stored("directory").isEmpty());
    s.write("land.png", {400, 200});
    s.write("small.png", {50, 40});
    s.addByDialog({"land.png", "small.png"});
    QCOMPARE(QDir(s.stored("directory")), QDir(s.pics.path()));

    QApplication::clipboard()->clear();
    s.seen.clear();
    s.press("butaddclipboard");
    QCOMPARE(s.seen, QList<Message>({{"Vemo", "no image found"}}));
    QApplication::clipboard()->setImage(pictures::pattern(30, 20));
    s.press("butaddclipboard");
    s.press("butaddclipboard");
    QCOMPARE(s.column(0),
             QStringList({"land.png", "small.png", "clipboard.jpg", "clipboard-2.jpg"}));
    const auto editable = [&](int row, int column) {
        return bool(s.model()->flags(s.model()->index(row, column)) & Qt::ItemIsEditable);
    };
    QVERIFY(!editable(0, 0) && editable(0, 1) && !editable(0, 2));
    QVERIFY(editable(3, 0) && editable(3, 1) && !editable(3, 2));

    auto* view = s.child<QLabel>("imgview");
    s.click(0);
    QTRY_COMPARE(view->pixmap().size(), QSize(100, 50));
    s.click(1, Qt::ControlModifier); // two rows: the preview stays
    QTRY_COMPARE(view->pixmap().size(), QSize(100, 50));
    s.click(1);
    QTRY_COMPARE(view->pixmap().size(), QSize(100, 80)); // small pictures are enlarged
    s.click(2);
    QTRY_COMPARE(view->pixmap().size(), QSize(100, 66));

    s.press("butdel");
    QVERIFY(view->pixmap().isNull()); // the previewed row went
    s.list->clearSelection();
    for (int row : {0, 2})
        s.click(row, Qt::ControlModifier);
    QTest::keyClick(s.list, Qt::Key_Delete);
    QCOMPARE(s.column(0), QStringList({"small.png"}));

    auto* copied = new QMimeData; // files copied in a file manager
    copied->setUrls({QUrl::fromLocalFile(s.path("land.png")), QUrl::fromLocalFile("/a.txt")});
    QApplication::clipboard()->setMimeData(copied);
    QTest::keyClick(s.list, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(s.column(2), QStringList({s.path("small.png"), s.path("land.png")}));
}

void WindowTest::keyboard_data()
{
    QTest::addColumn<QString>("keys");     // typed from the first row's name
    QTest::addColumn<QString>("comments"); // of the two rows, then "out" when the focus left
    const auto row = [](const char* name, const char* keys, const char* comments) {
        QTest::newRow(name) << QString(keys) << QString(comments);
    };
    row("F2", "F2 a b Return", "ab|");
    row("Enter", "Return x Return", "x|");
    row("a typed character", "h i Down", "hi|");
    row("Tab, cell by cell", "Tab Tab Tab z Return", "|z");
    row("Tab from the editor", "F2 q Tab Tab w Return", "q|w");
    row("Shift+Tab", "Down Shift+Tab e Return", "e|");
    row("out after the last cell", "Tab Tab Tab Tab", "| out");
    row("out before the first cell", "Shift+Tab", "| out");
}

// Comments are typed without the mouse, with real key events.
void WindowTest::keyboard()
{
    QFETCH(QString, keys);
    QFETCH(QString, comments);
    Session s;
    QTest::keyClick(s.window.get(), Qt::Key_G, Qt::AltModifier); // to the Gallery tab
    for (const char* path : {"/a.png", "/b.png"})
        picturelist::appendFileRow(*s.model(), path);
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    s.list->setFocus();
    s.list->setCurrentIndex(s.model()->index(0, picturelist::File));
    for (const QString& key : keys.split(' ')) // "a" is Qt::Key_A, typing "a"
        QTest::keyClick(QApplication::focusWidget(), QKeySequence(key)[0].key(),
                        QKeySequence(key)[0].keyboardModifiers());
    const auto shown = [&] {
        return s.column(picturelist::Comment).join('|') +
               (QApplication::focusWidget() != s.list ? " out" : "");
    };
    QTRY_COMPARE(shown(), comments); // Return stores the comment a moment later
}

void WindowTest::drops_data()
{
    QTest::addColumn<QStringList>("dropped"); // "://" entries as they are; others made as files
    QTest::addColumn<QStringList>("added");

    QTest::newRow("extensions: case, the last one")
        << QStringList{"a.JPG", "x.tar.PnG", "p.png.txt"} << QStringList{"a.JPG", "x.tar.PnG"};
    QTest::newRow("dot only in folder")
        << QStringList{"my.pics/png", "my.pics/in.bmp"} << QStringList{"my.pics/in.bmp"};
    QTest::newRow("not local") << QStringList{"http://example.com/p.png", "l.png"}
                               << QStringList{"l.png"};
    QTest::newRow("non-ASCII") << QStringList{"Grüße – 写真.png"}
                               << QStringList{"Grüße – 写真.png"};
    QStringList late;
    for (int i = 0; i < 31; ++i)
        late << QString("late/t%1.txt").arg(i);
    QTest::newRow("32 URLs looked at")
        << late + QStringList{"p0.png", "p1.png"} << QStringList{"p0.png"};
}

// Files dropped on the list: real drag events carrying their URLs.
void WindowTest::drops()
{
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, added);
    Session s;
    picturelist::appendFileRow(*s.model(), "/earlier.png"); // new rows go after it
    QList<QUrl> urls;
    for (const QString& entry : dropped) {
        if (entry.contains("://")) {
            urls << QUrl(entry);
            continue;
        }
        QDir().mkpath(QFileInfo(s.path(entry)).absolutePath());
        QFile(s.path(entry)).open(QIODevice::WriteOnly);
        urls << QUrl::fromLocalFile(s.path(entry));
    }
    QMimeData data;
    data.setUrls(urls);
    const QPoint pos = s.list->visualRect(s.model()->index(0, 0)).center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    for (QDropEvent* event : std::initializer_list<QDropEvent*>{&enter, &drop}) {
        QCoreApplication::sendEvent(s.list->viewport(), event);
        QVERIFY(event->isAccepted());
    }
    QStringList expected{"/earlier.png"};
    for (const QString& relative : added)
        expected << s.path(relative);
    QCOMPARE(s.column(2), expected);
}

int main(int argc, char** argv)
{
    arguments[0] = argv[0];
    arguments[1] = nullptr;
    QApplication app(argumentCount, arguments);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window.moc"
