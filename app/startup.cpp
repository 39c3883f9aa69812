#include "app/startup.h"

#include "mainwindow/vemo.h"

#include <QApplication>
#include <QDebug>
#include <QImageReader>
#include <QLocale>
#include <QTranslator>

namespace startup {

bool loadTranslation(QTranslator& translator)
{
    if (translator.load(QStringLiteral("vemo_de")))
        return true;
    const QStringList languages = QLocale::system().uiLanguages();
    if (!languages.isEmpty() && languages.first().startsWith(QLatin1String("de")))
        return translator.load(QStringLiteral(":/i18n/vemo_de.qm"));
    return false;
}

int run(int argc, char** argv)
{
    QApplication app(argc, argv);
    qDebug() << QImageReader::supportedImageFormats();
    QTranslator translator;
    loadTranslation(translator);
    app.installTranslator(&translator);
    Vemo window;
    window.show();
    return app.exec();
}

} // namespace startup
