// The German translation: taken from "vemo_de" in the working directory.

#include "app/startup.h"
#include "core/batch/uploadthread.h"
#include "core/site/curl.h"
#include "forms/messages.h"
#include "forms/upload.h"
#include "mainwindow/vemo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QTreeView>

class TranslationTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        messages::setHandler([](const QString&, const QString&) {});
    }
    void cleanup() { messages::setHandler({}); }
    void texts_data();
    void texts();
};

void TranslationTest::texts_data()
{
    QTest::addColumn<bool>("german");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("vemo_de in the working directory")
        << true
        << QStringList({"Orva Galerie-Uploader", "&hinzufügen", "Hoch&laden", "&Einstellungen",
                        "Datei", "Abbrechen", "Anmeldung fehlgeschlagen", "Öffnen"});
    QTest::newRow("none there: English")
        << false
        << QStringList({"Orva Gallery Uploader", "&add", "&Upload", "&Options", "file", "Cancel",
                        "could not log in", "Open"});
}

void TranslationTest::texts()
{
    QFETCH(bool, german);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    if (german)
        QVERIFY(QFile::copy(VEMO_QM_FILE, dir.filePath("vemo_de.qm")));

    QTranslator translator, toolkit;
    QCOMPARE(startup::loadTranslation(translator, toolkit), german);
    QCoreApplication::installTranslator(&translator);
    QCoreApplication::installTranslator(&toolkit);
    {
        Vemo window;
        Upload progress;
        auto* tabs = window.findChild<QTabWidget*>("tabWidget");
        auto* list = window.findChild<QTreeView*>("filelist");
        const QStringList shown{
            window.windowTitle(),
            window.findChild<QPushButton*>("butadd")->text(),
            window.findChild<QPushButton*>("butupload")->text(),
            tabs->tabText(1),
            list->model()->headerData(0, Qt::Horizontal).toString(),
            progress.findChild<QPushButton*>("butcancel")->text(),
            QCoreApplication::translate("uploadThread", "could not log in"),
            QCoreApplication::translate("QPlatformTheme", "Open"), // the toolkit's own
        };
        QCOMPARE(shown, expected);
    }
    QCoreApplication::removeTranslator(&translator);
    QDir::setCurrent(previous);
}

int main(int argc, char** argv)
{
    curl::Global curl;
    QApplication app(argc, argv);
    TranslationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translation.moc"
