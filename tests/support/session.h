#pragma once

#include "support/pictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A fresh working directory for the program, with "vemo.ini" holding `ini`
// (no file when `ini` is null); the previous one comes back at the end.
class WorkDir
{
public:
    explicit WorkDir(const QByteArray& ini = QByteArray()) : previous(QDir::currentPath())
    {
        QDir::setCurrent(dir.path());
        QFile file(iniPath());
        if (!ini.isNull() && file.open(QIODevice::WriteOnly))
            file.write("[General]\n" + ini);
    }
    ~WorkDir() { QDir::setCurrent(previous); }
    QString path() const { return dir.path(); }
    QString iniPath() const { return dir.filePath(QStringLiteral("vemo.ini")); }
    QByteArray iniText() const { return pictures::readFile(iniPath()); }

private:
    QTemporaryDir dir;
    QString previous;
};
