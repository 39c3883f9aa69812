#include "core/history/contenthash.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <openssl/evp.h>

namespace history {

struct ContentHash::Context
{
    struct Free
    {
        void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> md{EVP_MD_CTX_new()};
};

ContentHash::ContentHash() : context(std::make_unique<Context>())
{
    reset();
}

ContentHash::~ContentHash() = default;

void ContentHash::reset()
{
    if (!context->md || EVP_DigestInit_ex(context->md.get(), EVP_sha256(), nullptr) != 1)
        qFatal("SHA-256 is not available");
}

void ContentHash::add(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        EVP_DigestUpdate(context->md.get(), bytes.data(), size_t(bytes.size()));
}

QByteArray ContentHash::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context->md.get(), digest, &length);
    reset();
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

QByteArray hashOf(QByteArrayView bytes)
{
    ContentHash hash;
    hash.add(bytes);
    return hash.hex();
}

QByteArray hashOfFile(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    ContentHash hash;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return QByteArray();
        if (n == 0)
            break;
        hash.add(QByteArrayView(buffer.constData(), n));
    }
    return hash.hex();
}

QByteArray hashOfImage(const QImage& image)
{
    if (image.isNull())
        return QByteArray();
    const QImage argb = image.format() == QImage::Format_ARGB32
                            ? image
                            : image.convertToFormat(QImage::Format_ARGB32);
    ContentHash hash;
    hash.add(QByteArray::number(argb.width()) + 'x' + QByteArray::number(argb.height()) + '\n');
    const qsizetype row = qsizetype(argb.width()) * 4;
    for (int y = 0; y < argb.height(); ++y)
        hash.add(QByteArrayView(reinterpret_cast<const char*>(argb.constScanLine(y)), row));
    return hash.hex();
}

} // namespace history
