// The main window: its settings file, the gallery links and the category tree.

#include "forms/messages.h"
#include "mainwindow/vemo.h"
#include "support/testsite.h"
#include "support/session.h"
#include "worker/curl.h"
#include "worker/uploadthread.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTreeView>

namespace {

using Message = QPair<QString, QString>;

template <typename T> T* widget(QWidget& window, const char* name)
{
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("no widget %s", name);
    return child;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStart();
    void changesAreStoredAtOnce_data();
    void changesAreStoredAtOnce();
    void storedValuesTheWidgetsCannotShow_data();
    void storedValuesTheWidgetsCannotShow();
    void linksUseTheStoredTextLiterally_data();
    void linksUseTheStoredTextLiterally();
    void settingsFileIsOwnerOnly();
    void categoryTree();

private:
    curl::Global curlGlobal;
    QList<Message> seen;
};

void MainWindowTest::init()
{
    seen.clear();
    messages::setHandler([this](const QString& t, const QString& m) { seen.append({t, m}); });
}

void MainWindowTest::cleanup()
{
    messages::setHandler({});
}

void MainWindowTest::firstStart()
{
    WorkDir work;
    Vemo window;
    QVERIFY(settle(window.worker()));
    QCOMPARE(widget<QLineEdit>(window, "website")->text(), QString());
    QCOMPARE(widget<QLineEdit>(window, "username")->text(), QString());
    QCOMPARE(widget<QLineEdit>(window, "password")->text(), QString());
    QCOMPARE(widget<QSpinBox>(window, "category")->value(), 0);
    QVERIFY(!widget<QCheckBox>(window, "checkresize")->isChecked());
    QCOMPARE(widget<QLineEdit>(window, "maxWidth")->text(), QString("1000"));
    QCOMPARE(widget<QLineEdit>(window, "maxHeight")->text(), QString("1000"));
    QCOMPARE(widget<QTabWidget>(window, "tabWidget")->currentIndex(), 0);
    // The links keep the form's own texts until the site or category changes.
    QVERIFY(!widget<QLabel>(window, "glink")->text().contains("index.php"));
    QVERIFY(!widget<QLabel>(window, "gadminlink")->text().contains("admin.php"));

    QSettings stored(work.iniPath(), QSettings::IniFormat);
    QCOMPARE(stored.allKeys(), QStringList({"maxheight", "maxwidth"}));
    QTRY_VERIFY(work.iniText().contains("maxwidth=1000"));
    // The start-up fetch went to an empty address and said so once.
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().first, QString("curl"));
}

void MainWindowTest::changesAreStoredAtOnce_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("website") << "website" << QVariant("http://example.org/cms");
    QTest::newRow("username") << "username" << QVariant("jo");
    QTest::newRow("password") << "password" << QVariant("pw=1&x");
    QTest::newRow("category") << "category" << QVariant(42);
    QTest::newRow("maxwidth") << "maxwidth" << QVariant("640");
    QTest::newRow("maxheight emptied") << "maxheight" << QVariant("");
    QTest::newRow("resize on") << "resize" << QVariant(2);
}

// Typing, clicking and spinning each write their key straight away, and the
// file on disk follows without the window being closed.
void MainWindowTest::changesAreStoredAtOnce()
{
    QFETCH(QString, key);
    QFETCH(QVariant, expected);

    WorkDir work;
    Vemo window;
    QVERIFY(settle(window.worker()));
    if (key == "category") {
        widget<QSpinBox>(window, "category")->setValue(expected.toInt());
    } else if (key == "resize") {
        QTest::mouseClick(widget<QCheckBox>(window, "checkresize"), Qt::LeftButton);
    } else {
        const char* name = key == "maxwidth"    ? "maxWidth"
                           : key == "maxheight" ? "maxHeight"
                                                : nullptr;
        auto* edit = widget<QLineEdit>(window, name ? name : qPrintable(key));
        edit->selectAll();
        edit->del();
        QTest::keyClicks(edit, expected.toString());
    }
    QSettings stored(work.iniPath(), QSettings::IniFormat);
    QCOMPARE(stored.value(key).toString(), expected.toString());
    QTRY_VERIFY(work.iniText().contains(key.toLatin1() + "="));
}

void MainWindowTest::storedValuesTheWidgetsCannotShow_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("shownCategory");
    QTest::addColumn<QString>("storedCategory");
    QTest::addColumn<bool>("checked");

    QTest::newRow("category above the maximum")
        << QByteArray("category=1500\n") << 999 << "999" << false;
    QTest::newRow("negative category is left in the file")
        << QByteArray("category=-5\n") << 0 << "-5" << false;
    QTest::newRow("non-numeric category reads as 0")
        << QByteArray("category=abc\n") << 0 << "abc" << false;
    QTest::newRow("any non-zero resize shows checked")
        << QByteArray("resize=1\n") << 0 << "" << true;
}

void MainWindowTest::storedValuesTheWidgetsCannotShow()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, shownCategory);
    QFETCH(QString, storedCategory);
    QFETCH(bool, checked);

    WorkDir work(ini);
    Vemo window;
    QVERIFY(settle(window.worker()));
    QCOMPARE(widget<QSpinBox>(window, "category")->value(), shownCategory);
    QSettings stored(work.iniPath(), QSettings::IniFormat);
    QCOMPARE(stored.value("category").toString(), storedCategory);
    auto* box = widget<QCheckBox>(window, "checkresize");
    QCOMPARE(box->isChecked(), checked);
    if (checked) {
        QCOMPARE(stored.value("resize").toInt(), 2); // loading checked the box, which stores it
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(stored.value("resize").toInt(), 0);
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(stored.value("resize").toInt(), 2);
    }
}

void MainWindowTest::linksUseTheStoredTextLiterally_data()
{
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("gallery");
    QTest::addColumn<QString>("admin");

    QTest::newRow("plain") << "http://x.org/cms"
                           << "http://x.org/cms/index.php?gallery-7"
                           << "http://x.org/cms/admin.php?gallery-S7";
    QTest::newRow("trailing slash") << "http://x.org/"
                                    << "http://x.org//index.php?gallery-7"
                                    << "http://x.org//admin.php?gallery-S7";
    QTest::newRow("placeholder inside") << "http://x.org/%1%2"
                                        << "http://x.org/%1%2/index.php?gallery-7"
                                        << "http://x.org/%1%2/admin.php?gallery-S7";
    QTest::newRow("markup characters") << "http://x.org/?a=1&b=\"2\""
                                       << "http://x.org/?a=1&b=\"2\"/index.php?gallery-7"
                                       << "http://x.org/?a=1&b=\"2\"/admin.php?gallery-S7";
}

// The links follow the stored site and category on every change, and a click
// opens exactly the stored text.
void MainWindowTest::linksUseTheStoredTextLiterally()
{
    QFETCH(QString, site);
    QFETCH(QString, gallery);
    QFETCH(QString, admin);

    WorkDir work("category=7\n");
    Vemo window;
    QVERIFY(settle(window.worker()));
    widget<QLineEdit>(window, "website")->setText(site);
    auto* glink = widget<QLabel>(window, "glink");
    auto* gadminlink = widget<QLabel>(window, "gadminlink");
    QTextDocument doc;
    doc.setHtml(glink->text());
    QCOMPARE(doc.toPlainText(), QString("Gallery"));
    // The label's own HTML parser gives the address a click opens.
    auto href = [](const QString& html) {
        QTextDocument d;
        d.setHtml(html);
        return d.begin().begin().fragment().charFormat().anchorHref();
    };
    QCOMPARE(href(glink->text()), gallery);
    QCOMPARE(href(gadminlink->text()), admin);
}

void MainWindowTest::settingsFileIsOwnerOnly()
{
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                        QFileDevice::WriteOther;
    for (const bool existed : {false, true}) {
        WorkDir work(existed ? QByteArray("password=old\n") : QByteArray());
        if (existed)
            QFile::setPermissions(work.iniPath(), QFile::permissions(work.iniPath()) | others);
        {
            Vemo window;
            QVERIFY(settle(window.worker()));
            QVERIFY((QFile::permissions(work.iniPath()) & others) == 0);
            QTest::keyClicks(widget<QLineEdit>(window, "password"), "new");
            QTRY_VERIFY(work.iniText().contains("password=oldnew") ||
                        work.iniText().contains("password=new"));
            // Rewritten by the settings store while the program runs: still private.
            QVERIFY((QFile::permissions(work.iniPath()) & others) == 0);
        }
        const auto permissions = QFile::permissions(work.iniPath());
        QVERIFY2((permissions & others) == 0, existed ? "existing file" : "new file");
        QVERIFY(permissions & QFileDevice::ReadOwner);
        QVERIFY(permissions & QFileDevice::WriteOwner);
    }
}

// The tree comes from the fetch the constructor starts and again on "Update";
// a page without categories keeps it; a click picks a category's id.
void MainWindowTest::categoryTree()
{
    TestSite site;
    QVERIFY(site.start());
    WorkDir work("website=" + site.url().toLatin1() + "\nusername=admin\npassword=secret\n");
    Vemo window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* catlist = widget<QTreeView>(window, "catlist");
    const QString tree = QString::fromUtf8(
        "Allgemein:3,Urlaub & Reisen:7(Italien:12(Rom & Umgebung:45),Fränkische Schweiz:13),"
        "Tom & Jerry:250(Cartoons <alt>:251),Archiv 2006:1200");
    QTRY_COMPARE_WITH_TIMEOUT(renderTree(catlist->model()), tree, 20000);
    QVERIFY(settle(window.worker()));
    auto* update = widget<QPushButton>(window, "butcat");
    QVERIFY(site.setFault("gallery", "no-categories", 2));
    for (int press = 0; press < 2; ++press) {
        QTest::mousePress(update, Qt::LeftButton);
        QVERIFY(settle(window.worker()));
        QCOMPARE(renderTree(catlist->model()), tree);
    }
    QCOMPARE(site.log("gallery").size(), 3);
    QCOMPARE(seen, QList<Message>({{"error", "no Categories found"}}));

    auto* spin = widget<QSpinBox>(window, "category");
    QSettings stored(work.iniPath(), QSettings::IniFormat);
    const QAbstractItemModel* model = catlist->model();
    const QModelIndex rome = model->index(0, 0, model->index(0, 0, model->index(1, 0)));
    catlist->scrollTo(rome);
    QTest::mouseClick(catlist->viewport(), Qt::LeftButton, {}, catlist->visualRect(rome).center());
    QCOMPARE(spin->value(), 45);
    QCOMPARE(stored.value("category").toInt(), 45);
    QVERIFY(widget<QLabel>(window, "glink")->text().contains("gallery-45"));
    const QModelIndex archive = model->index(3, 0); // id 1200: the box's maximum
    QTest::mouseClick(catlist->viewport(), Qt::LeftButton, {}, catlist->visualRect(archive).center());
    QCOMPARE(spin->value(), 999);
    QCOMPARE(stored.value("category").toInt(), 999);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
