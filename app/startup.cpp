#include "app/startup.h"

#include "app/headless.h"
#include "app/options.h"
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
#include <QRegularExpression>
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

// The window's command line: the settings options, --upload-now, picture
// files, and the toolkit's own options (the application takes those out
// itself), whether written with one dash or two.
class WindowOptions
{
public:
    WindowOptions()
    {
        // QGuiApplication's options (those --help-all lists) and QApplication's.
        static const char* const toolkitValues[] = {
            "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
            "qwindowicon", "qwindowtitle",       "session",       "display", "name",
            "visual",      "geometry",           "icon",          "title",   "style",
            "stylesheet",  "qmljsdebugger"};
        static const char* const toolkitSwitches[] = {"reverse", "nograb", "dograb", "widgetcount"};
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        settings.addTo(parser);
        parser.addOption({QStringLiteral("upload-now"), QString()});
        for (const char* name : toolkitValues)
            parser.addOption({QString::fromLatin1(name), QString(), QStringLiteral("value")});
        for (const char* name : toolkitSwitches)
            parser.addOption({QString::fromLatin1(name), QString()});
    }

    // Why the window cannot start with `arguments`, or nothing when it can.
    QString parse(const QStringList& arguments)
    {
        if (!parser.parse(arguments))
            return parser.errorText();
        // The width and height fields take four digits.
        return settings.check(parser, 9999);
    }

    // Stores the settings given, as if typed into the window, and takes them
    // out of the arguments, which the window reads as files.
    void store(int& argc, char** argv) const
    {
        Settings stored;
        settings.store(parser, stored);
        for (int i = 1; i < argc;) {
            QString name = QString::fromLocal8Bit(argv[i]);
            if (name == QLatin1String("--"))
                return;
            name.remove(QRegularExpression(QStringLiteral("^--?")));
            int taken = 0;
            for (const QCommandLineOption& option : settings.all()) {
                const QString own = option.names().constFirst();
                if (name == own)
                    taken = option.valueName().isEmpty() ? 1 : qMin(2, argc - i);
                else if (name.startsWith(own + QLatin1Char('=')))
                    taken = 1;
            }
            if (taken == 0) {
                ++i;
                continue;
            }
            for (int j = i; j + taken <= argc; ++j)
                argv[j] = argv[j + taken];
            argc -= taken;
        }
    }

private:
    QCommandLineParser parser;
    SettingsOptions settings;
};

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
    WindowOptions options;
    const QString error = options.parse(arguments);
    if (!error.isEmpty())
        return headless::usageError(error);
    options.store(argc, argv);
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
    if (!uploadNow)
        return app.exec();
    // Like the mode without a window: 0 only when every picture was sent.
    window.uploadAndClose();
    app.exec();
    return window.everyPictureSent() ? 0 : 1;
}

} // namespace startup
