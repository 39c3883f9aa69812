#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

class QImage;

// What identifies a picture's content: the SHA-256 of the file's bytes (as
// `sha256sum` prints it), or of the pixels of a picture that has no file.
// OpenSSL's implementation uses the processor's SHA instructions where there
// are any, which makes hashing a photo cost a fraction of decoding it.
namespace history {

class ContentHash
{
public:
    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;

    void add(QByteArrayView bytes);
    // Starts afresh, as if nothing had been added.
    void reset();
    // The hash of everything added, in lower-case hex; the object starts afresh.
    QByteArray hex();

private:
    struct Context;
    std::unique_ptr<Context> context;
};

QByteArray hashOf(QByteArrayView bytes);
// The hash of the file's content, read in pieces; empty when it cannot be
// read. Never opens anything but a regular file.
QByteArray hashOfFile(const QString& path);
// The hash of a picture held in memory: its size and its pixels as 32-bit ARGB,
// so that the same picture gives the same hash whatever its pixel format.
QByteArray hashOfImage(const QImage& image);

} // namespace history
