#pragma once

#include "core/batch/uploadjob.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

class QCommandLineParser;
class Settings;

// The command-line options that stand for settings, the same with and
// without the window: --site, --user, --category, --resize, --no-resize,
// --quality, --keep-location and --cacert.
class SettingsOptions
{
public:
    SettingsOptions();

    void addTo(QCommandLineParser& parser) const;
    // What is wrong with the values given, or an empty text. `maxSide` is the
    // largest width or height --resize may give.
    QString check(const QCommandLineParser& parser, int maxSide = 99999) const;
    // The options given, applied to `job` (after check()).
    void apply(const QCommandLineParser& parser, UploadJob& job) const;
    // The options given, stored as the window's fields store them.
    void store(const QCommandLineParser& parser, Settings& settings) const;

    const QList<QCommandLineOption>& all() const { return options; }

    const QCommandLineOption site, user, category, resize, noResize, quality, keepLocation, cacert;

private:
    QList<QCommandLineOption> options;
};
