#include "platform/BoundedFile.h"

#include "platform/Sha256.h"

namespace BoundedFile {

namespace {

constexpr qint64 kBlock = 1 << 16;

// Reads the whole file block by block, each handed to `take`; false when it
// is larger than `limit` or cannot be read.
template <typename Take>
bool stream(QIODevice &file, qint64 limit, Take &&take)
{
    if (!fits(file, limit) || !file.seek(0))
        return false;
    QByteArray block(kBlock, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 n = file.read(block.data(), kBlock);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        total += n;
        // A file that grows while it is read is held to the same limit.
        if (total > limit || !take(QByteArrayView(block.constData(), n)))
            return false;
    }
}

} // namespace

bool fits(const QIODevice &file, qint64 limit)
{
    return file.isOpen() && file.size() <= limit;
}

std::optional<QByteArray> readAll(QIODevice &file, qint64 limit)
{
    QByteArray bytes;
    if (fits(file, limit))
        bytes.reserve(file.size());
    if (!stream(file, limit, [&bytes](QByteArrayView block) {
            bytes.append(block);
            return true;
        }))
        return std::nullopt;
    return bytes;
}

std::optional<QString> sha256(QIODevice &file, qint64 limit)
{
    Sha256 hash;
    if (!stream(file, limit, [&hash](QByteArrayView block) {
            hash.addData(block);
            return true;
        }))
        return std::nullopt;
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<bool> holds(QIODevice &file, const QByteArray &bytes, qint64 limit)
{
    if (!fits(file, limit))
        return std::nullopt;
    if (file.size() != bytes.size())
        return false;
    qint64 at = 0;
    bool same = true;
    if (!stream(file, limit, [&](QByteArrayView block) {
            same = same && at + block.size() <= bytes.size()
                   && QByteArrayView(bytes.constData() + at, block.size()) == block;
            at += block.size();
            return same;
        }))
        return same ? std::nullopt : std::optional<bool>(false);
    return same && at == bytes.size();
}

std::optional<bool> sameBytes(QIODevice &a, QIODevice &b, qint64 limit)
{
    if (!fits(a, limit) || !fits(b, limit) || !b.seek(0))
        return std::nullopt;
    if (a.size() != b.size())
        return false;
    bool same = true;
    QByteArray other(kBlock, Qt::Uninitialized);
    if (!stream(a, limit, [&](QByteArrayView block) {
            const qint64 n = b.read(other.data(), block.size());
            same = n == block.size() && QByteArrayView(other.constData(), n) == block;
            return same;
        }))
        return same ? std::nullopt : std::optional<bool>(false);
    return same && b.read(other.data(), 1) == 0;
}

bool copy(QIODevice &from, QIODevice &to, qint64 limit)
{
    return stream(from, limit, [&to](QByteArrayView block) { return to.write(block.data(), block.size()) == block.size(); });
}

} // namespace BoundedFile
