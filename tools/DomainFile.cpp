#include "tools/DomainFile.h"

#include "platform/VolumeResolver.h"

#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A chain of links longer than this is refused, which also ends loops.
constexpr int kMaxLinks = 8;

QByteArray errnoText(int error)
{
    return QByteArray(std::strerror(error));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

DomainFile::DomainFile(const QByteArray &domain, const QString &root) : m_volumeRoot(root)
{
    const QByteArray path = domain + ".plist";
    const qsizetype slash = path.lastIndexOf('/');
    m_folderPath = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    m_name = slash < 0 ? path : path.mid(slash + 1);
    m_root.type = PropertyList::Value::Type::Dictionary;
}

DomainFile::~DomainFile()
{
    if (m_folder >= 0)
        ::close(m_folder); // also releases the lock
}

QByteArray DomainFile::shownPath() const
{
    return (m_folderPath == "/" ? QByteArray() : m_folderPath) + '/' + m_name;
}

void DomainFile::report(const QByteArray &message) const
{
    std::fprintf(stderr, "lumora-defaults: %s\n", message.constData());
}

int DomainFile::openVolumeFolder(const QByteArray &path, int flags) const
{
    if (m_volumeRoot.isEmpty())
        return ::open(path.constData(), flags | O_DIRECTORY | O_CLOEXEC);
    auto folder = VolumeResolver(Volume(m_volumeRoot)).openFolder(QFile::decodeName(path));
    if (folder)
        return (*folder).release();
    switch (folder.error()) {
    case VolumeResolver::Error::Missing:
        errno = ENOENT;
        break;
    case VolumeResolver::Error::NotAFolder:
        errno = ENOTDIR;
        break;
    case VolumeResolver::Error::TooManyLinks:
        errno = ELOOP;
        break;
    case VolumeResolver::Error::OutsideVolume:
        errno = EXDEV;
        break;
    default:
        errno = EACCES;
        break;
    }
    return -1;
}

DomainFile::Folder DomainFile::openFolder()
{
    m_folder = openVolumeFolder(m_folderPath, O_RDONLY);
    // A folder one may search but not list can still be read from; only
    // the lock needs the folder open for reading. (Inside a volume the
    // resolver already falls back to that.)
    if (m_folder < 0 && errno == EACCES && m_volumeRoot.isEmpty())
        m_folder = ::open(m_folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folder >= 0)
        return Folder::Open;
    if (errno == ENOENT)
        return Folder::Missing;
    report(m_folderPath + ": " + errnoText(errno));
    return Folder::Failed;
}

bool DomainFile::lock(std::chrono::milliseconds wait)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + wait;
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(m_folder, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            report(m_folderPath + ": cannot lock the folder: " + errnoText(errno) + "; nothing was changed");
            return false;
        }
        if (Clock::now() >= deadline) {
            report(m_folderPath + ": another program kept the folder locked for "
                   + QByteArray::number(qlonglong(wait.count() / 1000)) + " seconds; nothing was changed");
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

// A link is followed to the file it names only while that file lies in
// the same folder. Elsewhere may be outside the volume: an absolute link
// on a mounted volume names a place on this machine, not on the volume.
bool DomainFile::resolveLinks()
{
    struct stat folder {};
    if (::fstat(m_folder, &folder) != 0) {
        report(m_folderPath + ": " + errnoText(errno));
        return false;
    }
    for (int hop = 0;; ++hop) {
        if (::fstatat(m_folder, m_name.constData(), &m_info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                report(shownPath() + ": " + errnoText(errno));
                return false;
            }
            m_exists = false;
            return true;
        }
        if (!S_ISLNK(m_info.st_mode)) {
            m_exists = true;
            return true;
        }
        if (hop == kMaxLinks) {
            report(shownPath() + ": too many links in a row; the file was left unchanged");
            return false;
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlinkat(m_folder, m_name.constData(), target, sizeof target);
        if (length <= 0 || length >= ssize_t(sizeof target)) {
            report(shownPath() + ": cannot read the link: " + errnoText(errno));
            return false;
        }
        const QByteArray link(target, length);
        const qsizetype slash = link.lastIndexOf('/');
        const QByteArray name = link.mid(slash + 1);
        bool inFolder = !name.isEmpty() && name != "." && name != "..";
        if (inFolder && slash >= 0) {
            const QByteArray where = slash == 0 ? QByteArray("/") : link.left(slash);
            // On a volume an absolute target starts at its root.
            const int dir = m_volumeRoot.isEmpty()
                                ? ::openat(m_folder, where.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)
                                : openVolumeFolder(where.startsWith('/') ? where : m_folderPath + '/' + where, O_PATH);
            struct stat there {};
            inFolder = dir >= 0 && ::fstat(dir, &there) == 0 && sameFile(there, folder);
            if (dir >= 0)
                ::close(dir);
        }
        if (!inFolder) {
            report(shownPath() + ": a link to " + link
                   + ", which is not a file in the same folder; the file was left unchanged");
            return false;
        }
        m_name = name;
    }
}

bool DomainFile::readFile()
{
    if (!S_ISREG(m_info.st_mode)) {
        report(shownPath() + ": not a regular file");
        return false;
    }
    // Not blocking, and checked again once open: a FIFO put in the file's
    // place since it was looked at would otherwise hang the reader.
    const int fd = ::openat(m_folder, m_name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        report(shownPath() + ": " + errnoText(errno));
        return false;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(opened, m_info)) {
        ::close(fd);
        report(shownPath() + ": changed while it was being read; the file was left unchanged");
        return false;
    }
    // One byte past the limit, so that an oversized file shows as such.
    const qint64 wanted = PropertyList::Limits{}.maxBytes + 1;
    QByteArray bytes(qsizetype(std::min<qint64>(m_info.st_size + 1, wanted)), Qt::Uninitialized);
    qsizetype have = 0;
    while (have < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            report(shownPath() + ": " + errnoText(error));
            return false;
        }
        if (n == 0)
            break;
        have += n;
    }
    ::close(fd);
    bytes.truncate(have);

    QString why;
    std::optional<PropertyList::Value> root = PropertyList::readExact(bytes, {}, &m_format, &why);
    if (!root) {
        report(shownPath() + ": " + why.toUtf8() + "; the file was left unchanged");
        return false;
    }
    if (root->type != PropertyList::Value::Type::Dictionary) {
        report(shownPath() + ": the property list is not a dictionary; the file was left unchanged");
        return false;
    }
    m_root = std::move(*root);
    return true;
}

bool DomainFile::load()
{
    if (!resolveLinks())
        return false;
    if (!m_exists) {
        m_root = {};
        m_format = PropertyList::Format::Binary;
        return true;
    }
    return readFile();
}

bool DomainFile::store()
{
    QString why;
    const std::optional<QByteArray> bytes = PropertyList::writeExact(m_root, m_format, &why);
    if (!bytes) {
        report(shownPath() + ": " + why.toUtf8() + "; the file was left unchanged");
        return false;
    }
    // What is put in place must read back as exactly what was meant; the
    // application reads it with the same reader.
    const std::optional<PropertyList::Value> back = PropertyList::readExact(*bytes);
    if (!back || !(*back == m_root)) {
        report(shownPath() + ": could not encode the property list; the file was left unchanged");
        return false;
    }
    return replaceFile(*bytes);
}

bool DomainFile::replaceFile(const QByteArray &bytes)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = '.' + m_name + '.';
        for (int i = 0; i < 6; ++i)
            temp += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        fd = ::openat(m_folder, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        report(m_folderPath + ": cannot create a temporary file: " + errnoText(errno));
        return false;
    }

    auto fail = [&](const QByteArray &what) {
        const int error = errno;
        ::close(fd);
        ::unlinkat(m_folder, temp.constData(), 0);
        report(shownPath() + ": " + what + ": " + errnoText(error));
        return false;
    };

    if (!writeAll(fd, bytes))
        return fail("cannot write");
    mode_t mode = 0;
    if (m_exists) {
        // Owner first: changing it may clear set-id bits that fchmod restores.
        if ((m_info.st_uid != ::geteuid() || m_info.st_gid != ::getegid())
            && ::fchown(fd, m_info.st_uid, m_info.st_gid) != 0)
            return fail("cannot keep the file's owner");
        mode = m_info.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        return fail("cannot set the file's mode");
    if (::fsync(fd) != 0)
        return fail("cannot write");
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlinkat(m_folder, temp.constData(), 0);
        report(shownPath() + ": cannot write: " + errnoText(error));
        return false;
    }
    if (::renameat(m_folder, temp.constData(), m_folder, m_name.constData()) != 0) {
        const int error = errno;
        ::unlinkat(m_folder, temp.constData(), 0);
        report(shownPath() + ": cannot replace the file: " + errnoText(error));
        return false;
    }
    // Make the rename itself durable.
    ::fsync(m_folder);
    return true;
}
