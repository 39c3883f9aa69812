#include "app/startup.h"

#include "app/headless.h"
#include "mainwindow/vemo.h"
#include "worker/settings.h"

#include <QApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace startup {

namespace {

QStringList rawArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void setIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("vemo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEMO_VERSION));
}

int runWithoutWindow(int argc, char** argv)
{
    // Nothing is shown; the offscreen platform still gives fonts for SVG pictures.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    setIdentity();
    QTranslator translator;
    QTranslator toolkit;
    loadTranslation(translator, toolkit);
    app.installTranslator(&translator);
    app.installTranslator(&toolkit);
    return headless::run(app.arguments());
}

// "--site URL" before the window opens: the address is stored as if typed.
// The pair is taken out of the arguments, which the window reads as files.
void takeSiteOption(int& argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        QString site;
        int taken = 0;
        if (argument == QLatin1String("--site") && i + 1 < argc) {
            site = QString::fromLocal8Bit(argv[i + 1]);
            taken = 2;
        } else if (argument.startsWith(QLatin1String("--site="))) {
            site = argument.mid(7);
            taken = 1;
        }
        if (taken == 0)
            continue;
        Settings().setValue(Settings::Website, site);
        for (int j = i; j + taken <= argc; ++j)
            argv[j] = argv[j + taken];
        argc -= taken;
        return;
    }
}

} // namespace

bool loadTranslation(QTranslator& translator, QTranslator& toolkit)
{
    bool loaded = translator.load(QStringLiteral("vemo_de"));
    const QStringList languages = QLocale::system().uiLanguages();
    if (!loaded && !languages.isEmpty() && languages.first().startsWith(QLatin1String("de")))
        loaded = translator.load(QStringLiteral(":/i18n/vemo_de.qm"));
    if (loaded && !toolkit.load(QStringLiteral("qtbase_de"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        qDebug("no qtbase_de: the toolkit's own texts stay English");
    return loaded;
}

int run(int argc, char** argv)
{
    if (headless::wanted(rawArguments(argc, argv)))
        return runWithoutWindow(argc, argv);
    takeSiteOption(argc, argv);

    QApplication app(argc, argv);
    setIdentity();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vemo.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("vemo"));
    qDebug() << QImageReader::supportedImageFormats();
    QTranslator translator;
    QTranslator toolkit;
    loadTranslation(translator, toolkit);
    app.installTranslator(&translator);
    app.installTranslator(&toolkit);
    Vemo window;
    window.show();
    return app.exec();
}

} // namespace startup
