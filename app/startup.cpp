#include "app/startup.h"

#include "app/headless.h"
#include "core/settings.h"
#include "mainwindow/vemo.h"

#include <QApplication>
#include <QCommandLineParser>
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

// Why the window cannot start with `arguments`, or nothing when it can. It
// takes "--site URL" and picture files, and lets the toolkit's own options
// through (the application takes them out itself), whether written with one
// dash or two.
QString windowUsageError(const QStringList& arguments)
{
    // QGuiApplication's options (those --help-all lists) and QApplication's.
    static const char* const toolkitValues[] = {
        "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
        "qwindowicon", "qwindowtitle",       "session",       "display", "name",
        "visual",      "geometry",           "icon",          "title",   "style",
        "stylesheet",  "qmljsdebugger"};
    static const char* const toolkitSwitches[] = {"reverse", "nograb", "dograb", "widgetcount"};

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({QStringLiteral("site"), QString(), QStringLiteral("URL")});
    parser.addOption({QStringLiteral("upload-now"), QString()});
    for (const char* name : toolkitValues)
        parser.addOption({QString::fromLatin1(name), QString(), QStringLiteral("value")});
    for (const char* name : toolkitSwitches)
        parser.addOption({QString::fromLatin1(name), QString()});
    return parser.parse(arguments) ? QString() : parser.errorText();
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

// Takes `name` out of the arguments, which the window reads as files; true
// when it was there.
bool takeSwitch(const QString& name, int& argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) != name)
            continue;
        for (int j = i; j < argc; ++j)
            argv[j] = argv[j + 1];
        --argc;
        return true;
    }
    return false;
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
    const QStringList arguments = rawArguments(argc, argv);
    if (headless::wanted(arguments))
        return runWithoutWindow(argc, argv);
    // Before anything is shown, and without needing a display.
    const QString error = windowUsageError(arguments);
    if (!error.isEmpty())
        return headless::usageError(error);
    takeSiteOption(argc, argv);
    const bool uploadNow = takeSwitch(QStringLiteral("--upload-now"), argc, argv);

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
    if (uploadNow)
        window.uploadAndClose();
    return app.exec();
}

} // namespace startup
