#include "platform/DiskImageCommit.h"

#include "platform/Sha256.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DiskImageCommit {
namespace {

constexpr char kUndoMagic[16] = {'L', 'U', 'M', 'O', 'R', 'A', '-', 'U', 'N', 'D', 'O', '-', '1', '\n', 0, 0};
constexpr char kUndoEnd[16] = {'L', 'U', 'M', 'O', 'R', 'A', '-', 'U', 'N', 'D', 'O', '-', 'E', 'N', 'D', '\n'};
// Copies move this much at a time; the undo file is written as it is read.
constexpr qint64 kChunk = 1 << 20;

QString systemError(const QString &what, const QString &path, int error)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(error)));
}

bool readFully(int fd, char *data, qint64 length, qint64 offset)
{
    while (length > 0) {
        const ssize_t got = ::pread(fd, data, static_cast<size_t>(length), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        length -= got;
        offset += got;
    }
    return true;
}

bool writeFully(int fd, const char *data, qint64 length, qint64 offset)
{
    while (length > 0) {
        const ssize_t put = ::pwrite(fd, data, static_cast<size_t>(length), offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        length -= put;
        offset += put;
    }
    return true;
}

bool syncFolderOf(const QString &path)
{
    const UniqueFd folder(::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder && ::fsync(folder.get()) == 0;
}

// The image's size: a file's length, or a block device's.
std::optional<qint64> sizeOf(int fd)
{
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0)
        return std::nullopt;
    return static_cast<qint64>(end);
}

void appendU64(QByteArray &out, quint64 value)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        out.append(static_cast<char>((value >> shift) & 0xff));
}

quint64 readU64(const char *data)
{
    quint64 value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[i]);
    return value;
}

// Writes the undo file's bytes through `fd` as they are made, hashing them,
// so that the undo file needs no copy of the old bytes in memory.
class UndoWriter {
public:
    explicit UndoWriter(int fd) : m_fd(fd) {}
    bool put(const char *data, qint64 length)
    {
        m_hash.addData(QByteArrayView(data, length));
        if (!writeFully(m_fd, data, length, m_offset))
            return false;
        m_offset += length;
        return true;
    }
    bool put(const QByteArray &bytes) { return put(bytes.constData(), bytes.size()); }
    bool finish()
    {
        QByteArray trailer(kUndoEnd, sizeof kUndoEnd);
        trailer += m_hash.result();
        return writeFully(m_fd, trailer.constData(), trailer.size(), m_offset);
    }

private:
    int m_fd;
    qint64 m_offset = 0;
    Sha256 m_hash;
};

// The undo file of `image` read whole and checked: each range with its old
// bytes' place in the undo file.
struct UndoRange {
    quint64 start = 0;
    quint64 length = 0;
    qint64 bytesAt = 0;
};

std::optional<std::vector<UndoRange>> readUndo(int fd, qint64 imageSize, QString *why)
{
    const std::optional<qint64> size = sizeOf(fd);
    constexpr qint64 kHeader = sizeof kUndoMagic + 16;
    constexpr qint64 kTrailer = sizeof kUndoEnd + 32;
    if (!size || *size < kHeader + kTrailer) {
        *why = QStringLiteral("it is cut short");
        return std::nullopt;
    }
    QByteArray header(kHeader, Qt::Uninitialized);
    QByteArray trailer(kTrailer, Qt::Uninitialized);
    if (!readFully(fd, header.data(), kHeader, 0) || !readFully(fd, trailer.data(), kTrailer, *size - kTrailer)) {
        *why = QStringLiteral("it cannot be read");
        return std::nullopt;
    }
    if (std::memcmp(header.constData(), kUndoMagic, sizeof kUndoMagic) != 0
        || std::memcmp(trailer.constData(), kUndoEnd, sizeof kUndoEnd) != 0) {
        *why = QStringLiteral("it is not an undo file of this program");
        return std::nullopt;
    }
    if (static_cast<qint64>(readU64(header.constData() + 16)) != imageSize) {
        *why = QStringLiteral("it was made for an image of another size");
        return std::nullopt;
    }
    Sha256 hash;
    std::vector<char> buffer(kChunk);
    for (qint64 at = 0; at < *size - kTrailer;) {
        const qint64 part = std::min<qint64>(kChunk, *size - kTrailer - at);
        if (!readFully(fd, buffer.data(), part, at)) {
            *why = QStringLiteral("it cannot be read");
            return std::nullopt;
        }
        hash.addData(QByteArrayView(buffer.data(), part));
        at += part;
    }
    if (hash.result() != trailer.mid(sizeof kUndoEnd)) {
        *why = QStringLiteral("its checksum does not match");
        return std::nullopt;
    }
    const quint64 count = readU64(header.constData() + 24);
    std::vector<UndoRange> ranges;
    qint64 at = kHeader;
    for (quint64 i = 0; i < count; ++i) {
        char entry[16];
        if (at + 16 > *size - kTrailer || !readFully(fd, entry, 16, at)) {
            *why = QStringLiteral("it is cut short");
            return std::nullopt;
        }
        UndoRange range{readU64(entry), readU64(entry + 8), at + 16};
        if (range.start > static_cast<quint64>(imageSize) || range.length > static_cast<quint64>(imageSize) - range.start
            || static_cast<quint64>(*size - kTrailer - range.bytesAt) < range.length) {
            *why = QStringLiteral("a range lies outside the image");
            return std::nullopt;
        }
        ranges.push_back(range);
        at = range.bytesAt + static_cast<qint64>(range.length);
    }
    return ranges;
}

QString qemuImg()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("qemu-img"));
    return found.isEmpty() ? QStringLiteral("/usr/bin/qemu-img") : found;
}

bool runQemuImg(const QStringList &arguments, QByteArray *output, QString *error)
{
    QProcess process;
    process.start(qemuImg(), arguments);
    if (!process.waitForStarted(10000)) {
        *error = QStringLiteral("qemu-img could not be started (Debian package qemu-utils)");
        return false;
    }
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("qemu-img %1 failed: %2")
                     .arg(arguments.value(0), QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}

QString sideName(const QString &image, const QString &suffix)
{
    const QFileInfo info(image);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + suffix;
}

bool commitRaw(const QString &image, const QString &overlay, QString *error)
{
    const std::optional<QList<Range>> ranges = changedRanges(overlay, error);
    if (!ranges)
        return false;
    if (ranges->isEmpty())
        return true;

    const UniqueFd target(::open(QFile::encodeName(image).constData(), O_RDWR | O_CLOEXEC));
    if (!target) {
        *error = systemError(QStringLiteral("Cannot open"), image, errno);
        return false;
    }
    const UniqueFd source(::open(QFile::encodeName(overlay).constData(), O_RDONLY | O_CLOEXEC));
    if (!source) {
        *error = systemError(QStringLiteral("Cannot open"), overlay, errno);
        return false;
    }
    const std::optional<qint64> imageSize = sizeOf(target.get());
    if (!imageSize) {
        *error = systemError(QStringLiteral("Cannot measure"), image, errno);
        return false;
    }
    for (const Range &range : *ranges) {
        if (range.start > static_cast<quint64>(*imageSize)
            || range.length > static_cast<quint64>(*imageSize) - range.start) {
            *error = QStringLiteral("The changes reach past the end of %1.").arg(image);
            return false;
        }
    }

    // 1. The old bytes, whole and synced, under a name that is only ever
    //    given to a finished undo file.
    const QString undo = undoPath(image);
    const QString partial = undo + QStringLiteral(".partial");
    QDir().mkpath(QFileInfo(undo).absolutePath());
    ::unlink(QFile::encodeName(partial).constData());
    {
        const UniqueFd out(::open(QFile::encodeName(partial).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!out) {
            *error = systemError(QStringLiteral("Cannot create"), partial, errno);
            return false;
        }
        UndoWriter writer(out.get());
        QByteArray header(kUndoMagic, sizeof kUndoMagic);
        appendU64(header, static_cast<quint64>(*imageSize));
        appendU64(header, static_cast<quint64>(ranges->size()));
        bool ok = writer.put(header);
        std::vector<char> buffer(kChunk);
        for (const Range &range : *ranges) {
            QByteArray entry;
            appendU64(entry, range.start);
            appendU64(entry, range.length);
            ok = ok && writer.put(entry);
            for (quint64 done = 0; ok && done < range.length;) {
                const qint64 part = static_cast<qint64>(std::min<quint64>(kChunk, range.length - done));
                ok = readFully(target.get(), buffer.data(), part, static_cast<qint64>(range.start + done))
                     && writer.put(buffer.data(), part);
                done += static_cast<quint64>(part);
            }
        }
        ok = ok && writer.finish() && ::fsync(out.get()) == 0;
        if (!ok) {
            *error = systemError(QStringLiteral("Cannot write the undo file"), partial, errno);
            ::unlink(QFile::encodeName(partial).constData());
            return false;
        }
    }
    if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(undo).constData()) != 0
        || !syncFolderOf(undo)) {
        *error = systemError(QStringLiteral("Cannot put the undo file in place"), undo, errno);
        ::unlink(QFile::encodeName(partial).constData());
        return false;
    }

    // 2. The new bytes.
    std::vector<char> buffer(kChunk);
    bool ok = true;
    for (const Range &range : *ranges) {
        for (quint64 done = 0; ok && done < range.length;) {
            const qint64 part = static_cast<qint64>(std::min<quint64>(kChunk, range.length - done));
            if (range.zero)
                std::memset(buffer.data(), 0, static_cast<size_t>(part));
            else
                ok = readFully(source.get(), buffer.data(), part, static_cast<qint64>(range.overlayOffset + done));
            ok = ok && writeFully(target.get(), buffer.data(), part, static_cast<qint64>(range.start + done));
            done += static_cast<quint64>(part);
        }
    }
    ok = ok && ::fsync(target.get()) == 0;
    if (!ok) {
        const int reason = errno;
        // Put the old bytes back at once; if even that fails, the undo file
        // stays and the next open does it.
        QString ignored;
        if (recover(image, &ignored) == Recovery::RolledBack)
            *error = systemError(QStringLiteral("Cannot write"), image, reason)
                     + QStringLiteral(" (the image was put back as it was)");
        else
            *error = systemError(QStringLiteral("Cannot write"), image, reason);
        return false;
    }

    // 3. Done: the undo file goes.
    if (::unlink(QFile::encodeName(undo).constData()) != 0 || !syncFolderOf(undo)) {
        *error = systemError(QStringLiteral("Cannot remove the undo file"), undo, errno);
        return false;
    }
    return true;
}

bool copyFile(int from, int to)
{
    std::vector<char> buffer(kChunk);
    for (qint64 at = 0;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!writeFully(to, buffer.data(), got, at))
            return false;
        at += got;
    }
}

bool commitQcow2(const QString &image, const QString &overlay, QString *error)
{
    const std::optional<QList<Range>> ranges = changedRanges(overlay, error);
    if (!ranges)
        return false;
    if (ranges->isEmpty())
        return true;
    const QString copy = sideName(image, QStringLiteral(".lumora-new"));
    ::unlink(QFile::encodeName(copy).constData());
    {
        const UniqueFd from(::open(QFile::encodeName(image).constData(), O_RDONLY | O_CLOEXEC));
        struct stat info {};
        if (!from || ::fstat(from.get(), &info) != 0) {
            *error = systemError(QStringLiteral("Cannot open"), image, errno);
            return false;
        }
        const UniqueFd to(::open(QFile::encodeName(copy).constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, info.st_mode & 07777));
        if (!to || !copyFile(from.get(), to.get()) || ::fsync(to.get()) != 0) {
            *error = systemError(QStringLiteral("Cannot copy the image to"), copy, errno);
            ::unlink(QFile::encodeName(copy).constData());
            return false;
        }
    }
    // A copy of the overlay stands on the copy of the image and gives it its
    // clusters; the session's own overlay is left as it was.
    const QString moving = sideName(image, QStringLiteral(".lumora-overlay"));
    ::unlink(QFile::encodeName(moving).constData());
    bool committed = false;
    {
        const UniqueFd from(::open(QFile::encodeName(overlay).constData(), O_RDONLY | O_CLOEXEC));
        const UniqueFd to(::open(QFile::encodeName(moving).constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        committed = from && to && copyFile(from.get(), to.get());
        if (!committed)
            *error = systemError(QStringLiteral("Cannot copy the overlay to"), moving, errno);
    }
    committed = committed
                && runQemuImg({QStringLiteral("rebase"), QStringLiteral("-u"), QStringLiteral("-f"), QStringLiteral("qcow2"),
                               QStringLiteral("-F"), QStringLiteral("qcow2"), QStringLiteral("-b"), copy, moving},
                              nullptr, error)
                && runQemuImg({QStringLiteral("commit"), QStringLiteral("-d"), QStringLiteral("-f"),
                               QStringLiteral("qcow2"), moving},
                              nullptr, error);
    ::unlink(QFile::encodeName(moving).constData());
    bool synced = false;
    if (committed) {
        const UniqueFd fd(::open(QFile::encodeName(copy).constData(), O_RDWR | O_CLOEXEC));
        synced = fd && ::fsync(fd.get()) == 0;
        if (!synced)
            *error = systemError(QStringLiteral("Cannot sync"), copy, errno);
    }
    if (!committed || !synced
        || ::rename(QFile::encodeName(copy).constData(), QFile::encodeName(image).constData()) != 0) {
        if (committed && synced)
            *error = systemError(QStringLiteral("Cannot replace"), image, errno);
        ::unlink(QFile::encodeName(copy).constData());
        return false;
    }
    if (!syncFolderOf(image)) {
        *error = systemError(QStringLiteral("Cannot sync the folder of"), image, errno);
        return false;
    }
    return true;
}

} // namespace

std::optional<Format> detectFormat(const QString &image, QString *error)
{
    const UniqueFd fd(::open(QFile::encodeName(image).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        *error = systemError(QStringLiteral("Cannot open"), image, errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode))) {
        *error = QStringLiteral("%1 is not a disk image file nor a disk.").arg(image);
        return std::nullopt;
    }
    char head[4096] = {};
    const ssize_t got = ::pread(fd.get(), head, sizeof head, 0);
    if (got < 0) {
        *error = systemError(QStringLiteral("Cannot read"), image, errno);
        return std::nullopt;
    }
    if (got >= 4 && std::memcmp(head, "QFI\xfb", 4) == 0)
        return Format::Qcow2;
    const std::optional<qint64> size = sizeOf(fd.get());
    char trailer[4] = {};
    const bool koly = size && *size >= 512 && readFully(fd.get(), trailer, 4, *size - 512)
                      && std::memcmp(trailer, "koly", 4) == 0;
    if (!koly)
        return Format::Raw;
    // A read-write .dmg is the disk's bytes followed by its trailer: its
    // first blocks are a partition map or a volume. Anything else is
    // compressed or chunked, and only QEMU's own reader understands it.
    const bool apm = got >= 514 && head[0] == 'E' && head[1] == 'R' && head[512] == 'P' && head[513] == 'M';
    const bool gptOrMbr = got >= 512 && static_cast<unsigned char>(head[510]) == 0x55
                          && static_cast<unsigned char>(head[511]) == 0xaa;
    const bool volume = got >= 1026 && head[1024] == 'H' && (head[1025] == '+' || head[1025] == 'X');
    return apm || gptOrMbr || volume ? Format::Raw : Format::CompressedDmg;
}

QString formatName(Format format)
{
    switch (format) {
    case Format::Raw:
        return QStringLiteral("raw");
    case Format::Qcow2:
        return QStringLiteral("qcow2");
    case Format::CompressedDmg:
        return QStringLiteral("dmg");
    }
    return {};
}

QString undoPath(const QString &image)
{
    const QFileInfo info(image);
    struct stat status {};
    if (::stat(QFile::encodeName(image).constData(), &status) == 0 && S_ISBLK(status.st_mode)) {
        QString name = info.absoluteFilePath();
        name.replace(QLatin1Char('/'), QLatin1Char('_'));
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
               + QStringLiteral("/Lumora Login/undo/") + name + QStringLiteral(".lumora-undo");
    }
    return sideName(image, QStringLiteral(".lumora-undo"));
}

std::optional<QList<Range>> changedRanges(const QString &overlay, QString *error)
{
    QByteArray output;
    if (!runQemuImg({QStringLiteral("map"), QStringLiteral("--output=json"), QStringLiteral("-f"), QStringLiteral("qcow2"),
                     overlay},
                    &output, error))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(output);
    if (!document.isArray()) {
        *error = QStringLiteral("qemu-img map printed no list for %1").arg(overlay);
        return std::nullopt;
    }
    QList<Range> ranges;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject entry = value.toObject();
        // Depth 0 is the overlay itself; deeper stretches are the image's own.
        if (entry.value(QStringLiteral("depth")).toInteger(-1) != 0)
            continue;
        Range range;
        range.start = static_cast<quint64>(entry.value(QStringLiteral("start")).toInteger());
        range.length = static_cast<quint64>(entry.value(QStringLiteral("length")).toInteger());
        const bool data = entry.value(QStringLiteral("data")).toBool();
        range.zero = !data && entry.value(QStringLiteral("zero")).toBool();
        if (!data && !range.zero)
            continue;
        if (data) {
            if (!entry.contains(QStringLiteral("offset"))) {
                *error = QStringLiteral("qemu-img map gives no place for changed data in %1").arg(overlay);
                return std::nullopt;
            }
            range.overlayOffset = static_cast<quint64>(entry.value(QStringLiteral("offset")).toInteger());
        }
        ranges.push_back(range);
    }
    return ranges;
}

Recovery recover(const QString &image, QString *error)
{
    // Unfinished work of a save that never got far enough to matter.
    ::unlink(QFile::encodeName(undoPath(image) + QStringLiteral(".partial")).constData());
    ::unlink(QFile::encodeName(sideName(image, QStringLiteral(".lumora-new"))).constData());
    ::unlink(QFile::encodeName(sideName(image, QStringLiteral(".lumora-overlay"))).constData());

    const QString undo = undoPath(image);
    const UniqueFd in(::open(QFile::encodeName(undo).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in) {
        if (errno == ENOENT)
            return Recovery::Nothing;
        *error = systemError(QStringLiteral("Cannot open the undo file"), undo, errno);
        return Recovery::Failed;
    }
    const UniqueFd target(::open(QFile::encodeName(image).constData(), O_RDWR | O_CLOEXEC));
    if (!target) {
        *error = systemError(QStringLiteral("Cannot open"), image, errno);
        return Recovery::Failed;
    }
    const std::optional<qint64> imageSize = sizeOf(target.get());
    QString why;
    const std::optional<std::vector<UndoRange>> ranges =
        imageSize ? readUndo(in.get(), *imageSize, &why) : std::nullopt;
    if (!ranges) {
        // Only a finished undo file is ever given this name; one that does
        // not check out is kept for a person to look at.
        *error = QStringLiteral("The undo file %1 of an interrupted save cannot be used: %2.").arg(undo, why);
        return Recovery::Failed;
    }
    std::vector<char> buffer(kChunk);
    for (const UndoRange &range : *ranges) {
        for (quint64 done = 0; done < range.length;) {
            const qint64 part = static_cast<qint64>(std::min<quint64>(kChunk, range.length - done));
            if (!readFully(in.get(), buffer.data(), part, range.bytesAt + static_cast<qint64>(done))
                || !writeFully(target.get(), buffer.data(), part, static_cast<qint64>(range.start + done))) {
                *error = systemError(QStringLiteral("Cannot put back the bytes of"), image, errno);
                return Recovery::Failed;
            }
            done += static_cast<quint64>(part);
        }
    }
    if (::fsync(target.get()) != 0 || ::unlink(QFile::encodeName(undo).constData()) != 0 || !syncFolderOf(undo)) {
        *error = systemError(QStringLiteral("Cannot finish putting back"), image, errno);
        return Recovery::Failed;
    }
    return Recovery::RolledBack;
}

bool commit(const QString &image, Format format, const QString &overlay, QString *error)
{
    switch (format) {
    case Format::Raw:
        return commitRaw(image, overlay, error);
    case Format::Qcow2:
        return commitQcow2(image, overlay, error);
    case Format::CompressedDmg:
        *error = QStringLiteral("%1 is a compressed disk image and is never written.").arg(image);
        return false;
    }
    return false;
}

} // namespace DiskImageCommit
