// The main form applied to a plain widget, as the main window applies it to
// itself: what later code relies on (object names and types, the current tab,
// the limits of the number fields) and how its texts reach the translator.

#include "forms/filelist.h"
#include "forms/mainform.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QSet>
#include <QSpinBox>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

// Records every lookup and answers each one with a marked text, so that a test
// sees which texts went through the translator and under which context.
class RecordingTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* sourceText, const char* = nullptr,
                      int = -1) const override
    {
        lookups.insert({QString::fromUtf8(context), QString::fromUtf8(sourceText)});
        return QStringLiteral("T:") + QString::fromUtf8(sourceText);
    }
    bool isEmpty() const override { return false; }

    mutable QSet<std::pair<QString, QString>> lookups;
};

struct Form
{
    Form() { ui.setupUi(&widget); }
    QWidget widget;
    Ui::qMain ui;
};

} // namespace

class TestForms : public QObject
{
    Q_OBJECT

private slots:
    void galleryTabIsCurrent();
    void widgetsCarryTheirNames_data();
    void widgetsCarryTheirNames();
    void sizeFieldTyping_data();
    void sizeFieldTyping();
    void sizeFieldSetText_data();
    void sizeFieldSetText();
    void categoryRange_data();
    void categoryRange();
    void passwordShowsAsTyped();
    void topLevelName_data();
    void topLevelName();
    void listViewsDragAndEdit();
    void fitsTheWindowSize();
    void textsGoThroughTranslatorAsMain();
};

void TestForms::galleryTabIsCurrent()
{
    Form f;
    QCOMPARE(f.ui.tabWidget->count(), 2);
    QCOMPARE(f.ui.tabWidget->currentIndex(), 0);
    QCOMPARE(f.ui.tabWidget->currentWidget(), f.ui.tab);
    QCOMPARE(f.ui.tabWidget->tabText(0), QStringLiteral("Gallery"));
    QCOMPARE(f.ui.tabWidget->tabText(1), QStringLiteral("Options"));
    // The picture list sits in the Gallery tab, the login fields in Options.
    QVERIFY(f.ui.tab->isAncestorOf(f.ui.filelist));
    QVERIFY(f.ui.tab_2->isAncestorOf(f.ui.website));
}

void TestForms::widgetsCarryTheirNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("type");

    const std::pair<const char*, const char*> widgets[] = {
        {"website", "QLineEdit"},     {"username", "QLineEdit"},
        {"password", "QLineEdit"},    {"category", "QSpinBox"},
        {"checkresize", "QCheckBox"}, {"maxWidth", "QLineEdit"},
        {"maxHeight", "QLineEdit"},   {"glink", "QLabel"},
        {"gadminlink", "QLabel"},     {"filelist", "FileList"},
        {"catlist", "QTreeView"},     {"imgview", "QLabel"},
        {"butadd", "QPushButton"},    {"butaddclipboard", "QPushButton"},
        {"butdel", "QPushButton"},    {"butupload", "QPushButton"},
        {"butcat", "QPushButton"},    {"tabWidget", "QTabWidget"},
    };
    for (const auto& [name, type] : widgets)
        QTest::newRow(name) << QString::fromLatin1(name) << QByteArray(type);
}

void TestForms::widgetsCarryTheirNames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, type);

    Form f;
    const QList<QWidget*> found = f.widget.findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QVERIFY2(found.first()->inherits(type.constData()), found.first()->metaObject()->className());
}

void TestForms::sizeFieldTyping_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    for (const char* field : {"maxWidth", "maxHeight"}) {
        const QString f = QString::fromLatin1(field);
        auto row = [&](const char* name, const char* typed, const char* expected) {
            QTest::addRow("%s %s", field, name)
                << f << QString::fromLatin1(typed) << QString::fromLatin1(expected);
        };
        row("four digits", "1024", "1024");
        row("fifth digit refused", "12345", "1234");
        row("letters refused", "ab1c2", "12");
        row("sign refused", "-80", "80");
        row("nothing typed", "", "");
    }
}

void TestForms::sizeFieldTyping()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    Form f;
    auto* edit = f.widget.findChild<QLineEdit*>(field);
    QVERIFY(edit);
    edit->clear();
    edit->setCursorPosition(0);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), expected);
    QCOMPARE(edit->maxLength(), 4);
}

void TestForms::sizeFieldSetText_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("default limit") << "1000"
                                   << "1000";
    QTest::newRow("too long") << "123456"
                              << "1234";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("not a number") << "abc"
                                  << "";
}

// The main window loads the stored limits with setText; the field keeps only
// what fits.
void TestForms::sizeFieldSetText()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);

    Form f;
    for (QLineEdit* edit : {f.ui.maxWidth, f.ui.maxHeight}) {
        edit->setText(value);
        QCOMPARE(edit->text(), expected);
        // Blanks show as spaces, four positions wide.
        QCOMPARE(edit->displayText().size(), 4);
    }
}

void TestForms::categoryRange_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("shown");

    QTest::newRow("lowest") << 0 << 0;
    QTest::newRow("inside") << 42 << 42;
    QTest::newRow("highest") << 999 << 999;
    QTest::newRow("above") << 1000 << 999;
    QTest::newRow("far above") << 123456 << 999;
    QTest::newRow("negative") << -5 << 0;
}

void TestForms::categoryRange()
{
    QFETCH(int, value);
    QFETCH(int, shown);

    Form f;
    QCOMPARE(f.ui.category->minimum(), 0);
    QCOMPARE(f.ui.category->maximum(), 999);
    QVERIFY(f.ui.category->suffix().isEmpty());
    f.ui.category->setValue(value);
    QCOMPARE(f.ui.category->value(), shown);
    QCOMPARE(f.ui.category->text(), QString::number(shown));
}

void TestForms::passwordShowsAsTyped()
{
    Form f;
    QCOMPARE(f.ui.password->echoMode(), QLineEdit::Normal);
    QTest::keyClicks(f.ui.password, QStringLiteral("s3cret"));
    QCOMPARE(f.ui.password->displayText(), QStringLiteral("s3cret"));
}

void TestForms::topLevelName_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << QString() << QStringLiteral("main");
    QTest::newRow("own name") << QStringLiteral("Vemo") << QStringLiteral("Vemo");
}

void TestForms::topLevelName()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);

    QWidget widget;
    widget.setObjectName(given);
    Ui::qMain ui;
    ui.setupUi(&widget);
    QCOMPARE(widget.objectName(), expected);
    QCOMPARE(widget.windowTitle(), QStringLiteral("Orva Gallery Uploader"));
}

void TestForms::listViewsDragAndEdit()
{
    Form f;
    // The picture list takes drops but never starts a drag.
    QVERIFY(f.ui.filelist->acceptDrops());
    QVERIFY(!f.ui.filelist->dragEnabled());
    QCOMPARE(f.ui.filelist->dragDropMode(), QAbstractItemView::DropOnly);
    QCOMPARE(f.ui.filelist->selectionMode(), QAbstractItemView::ExtendedSelection);
    // Any key typed on a comment starts editing it.
    QVERIFY(f.ui.filelist->editTriggers().testFlag(QAbstractItemView::AnyKeyPressed));
    QVERIFY(f.ui.filelist->editTriggers().testFlag(QAbstractItemView::DoubleClicked));
    // The category tree cannot be edited in place.
    QCOMPARE(f.ui.catlist->editTriggers(), QAbstractItemView::NoEditTriggers);

    // Picture list left, category column right.
    QCOMPARE(f.ui.splitter->count(), 2);
    QVERIFY(f.ui.splitter->widget(0)->isAncestorOf(f.ui.filelist));
    QVERIFY(f.ui.splitter->widget(1)->isAncestorOf(f.ui.catlist));
    QVERIFY(f.ui.splitter->widget(1)->isAncestorOf(f.ui.imgview));
}

// Nothing in either tab (the notice and the links included) may force the
// window wider or taller than the size it starts with.
void TestForms::fitsTheWindowSize()
{
    Form f;
    QCOMPARE(f.widget.size(), QSize(573, 391));
    const QSize needed = f.widget.minimumSizeHint();
    QVERIFY2(needed.width() <= 573 && needed.height() <= 391,
             qPrintable(QStringLiteral("%1 x %2").arg(needed.width()).arg(needed.height())));
}

void TestForms::textsGoThroughTranslatorAsMain()
{
    RecordingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    auto guard = std::unique_ptr<RecordingTranslator, void (*)(RecordingTranslator*)>(
        &translator, [](RecordingTranslator* t) { QCoreApplication::removeTranslator(t); });

    Form f;
    const QString keys[] = {
        QStringLiteral("Orva Gallery Uploader"),
        QStringLiteral("add from Clipboard"),
        QStringLiteral("Gallery"),
        QStringLiteral("url of the webiste (e.g.: http://www.example.com/orva"),
        QStringLiteral("You can find the ID of the category by taking a look at the statusbar "
                       "of your web browser when you move your mouse over a categrory"),
        QStringLiteral("max. size"),
    };
    // Each of the form's texts is looked up under "main" and nothing else (the
    // toolkit's own widgets look up their texts under their class names).
    for (const QString& key : keys) {
        QStringList contexts;
        for (const auto& [context, source] : std::as_const(translator.lookups)) {
            if (source == key)
                contexts << context;
        }
        QVERIFY2(contexts == QStringList{QStringLiteral("main")},
                 qPrintable(key + QStringLiteral(": ") + contexts.join(QLatin1Char(','))));
    }

    QCOMPARE(f.ui.butdel->text(), QStringLiteral("T:del"));
    QCOMPARE(f.ui.tabWidget->tabText(1), QStringLiteral("T:Options"));
    // The empty values are set as they are, not looked up.
    QVERIFY(f.ui.category->suffix().isEmpty());
    QVERIFY(f.ui.gadminlink->styleSheet().isEmpty());
    QVERIFY(f.ui.imgview->text().isEmpty());
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
