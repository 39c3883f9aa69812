#pragma once

#include "support/tree.h"
#include "worker/uploadthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

// A fresh working directory for the program, with "vemo.ini" holding `ini`
// (no file when `ini` is null); the previous one comes back at the end.
class WorkDir
{
public:
    explicit WorkDir(const QByteArray& ini = QByteArray())
    {
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        if (!ini.isNull()) {
            QFile file(iniPath());
            if (file.open(QIODevice::WriteOnly))
                file.write("[General]\n" + ini);
        }
    }
    ~WorkDir() { QDir::setCurrent(previous); }
    QString path() const { return dir.path(); }
    QString iniPath() const { return dir.filePath(QStringLiteral("vemo.ini")); }
    QByteArray iniText() const { return bytesOf(iniPath()); }

    static QByteArray bytesOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir;
    QString previous;
};

// Waits, handling events (and so the worker's messages), until the worker is
// idle and its progress window is gone.
inline bool settle(uploadThread* worker, int timeoutMs = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (worker->isRunning() || worker->progressWindow()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    worker->wait();
    QCoreApplication::processEvents();
    return true;
}

