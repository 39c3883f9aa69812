// The main form applied to a plain widget, as the main window applies it to
// itself: what later code relies on (object names and types, the current tab,
// the limits of the number fields).

#include "forms/mainform.h"

#include <QtTest>

namespace {

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
    void startState()
    {
        Form f;
        QCOMPARE(f.ui.tabWidget->currentWidget(), f.ui.tab);
        QVERIFY(f.ui.tab->isAncestorOf(f.ui.filelist));
        QCOMPARE(f.ui.password->echoMode(), QLineEdit::Normal);
    }

    void widgetsCarryTheirNames_data()
    {
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
            QTest::newRow(name) << QByteArray(type);
    }
    void widgetsCarryTheirNames()
    {
        QFETCH(QByteArray, type);
        Form f;
        const auto found = f.widget.findChildren<QWidget*>(QTest::currentDataTag());
        QCOMPARE(found.size(), 1);
        QVERIFY2(found.first()->inherits(type.constData()),
                 found.first()->metaObject()->className());
    }

    // Typed by the user or loaded from the settings with setText: at most four
    // digits, nothing else, and an empty field is a valid value.
    void sizeFields_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("four digits") << QString("1024") << QString("1024");
        QTest::newRow("fifth digit refused") << QString("12345") << QString("1234");
        QTest::newRow("letters refused") << QString("ab1c2") << QString("12");
        QTest::newRow("empty") << QString() << QString();
    }
    void sizeFields()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        Form f;
        for (QLineEdit* edit : {f.ui.maxWidth, f.ui.maxHeight}) {
            edit->clear();
            QTest::keyClicks(edit, input);
            QCOMPARE(edit->text(), expected);
            edit->setText(input);
            QCOMPARE(edit->text(), expected);
        }
    }

    void categoryRange()
    {
        Form f;
        for (auto [value, shown] : {std::pair{0, 0}, {999, 999}, {1000, 999}, {-5, 0}}) {
            f.ui.category->setValue(value);
            QCOMPARE(f.ui.category->value(), shown);
        }
    }

    // setupUi names an unnamed top-level widget after the form, and leaves a
    // given name alone.
    void topLevelName()
    {
        for (auto [given, expected] : {std::pair{"", "main"}, {"Vemo", "Vemo"}}) {
            QWidget widget;
            widget.setObjectName(given);
            Ui::qMain().setupUi(&widget);
            QCOMPARE(widget.objectName(), QString(expected));
        }
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
