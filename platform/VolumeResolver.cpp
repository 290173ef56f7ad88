#include "platform/VolumeResolver.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using Error = VolumeResolver::Error;

// The Mac's limit, and the kernel's.
constexpr int kMaxLinks = 40;

using Fd = UniqueFd;

Error errorFromErrno(int error)
{
    switch (error) {
    case ENOENT:
        return Error::Missing;
    case ENOTDIR:
        return Error::NotAFolder;
    case ELOOP:
        return Error::TooManyLinks;
    case EXDEV:
        return Error::OutsideVolume;
    default:
        return Error::Failed;
    }
}

// A trailing separator asks for a folder, as it does of the kernel.
QStringList components(const QString &path)
{
    QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty() && path.endsWith(QLatin1Char('/')))
        parts.append(QStringLiteral("."));
    return parts;
}

std::optional<QString> readLink(int dirFd, const char *name)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(dirFd, name, target, sizeof target);
    if (length < 0 || size_t(length) >= sizeof target)
        return std::nullopt;
    return QFile::decodeName(QByteArray(target, int(length)));
}

std::optional<QString> pathOfFd(int fd)
{
    return readLink(AT_FDCWD, QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData());
}

long openat2(int dirFd, const QString &path, quint64 flags, quint64 resolve)
{
    open_how how{};
    how.flags = flags | O_CLOEXEC;
    how.resolve = resolve;
    const QByteArray name = QFile::encodeName(path.isEmpty() ? QStringLiteral(".") : path);
    long fd = -1;
    // The kernel asks for a retry when a rename raced the lookup.
    for (int attempt = 0; attempt < 16; ++attempt) {
        fd = ::syscall(SYS_openat2, dirFd, name.constData(), &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN)
            break;
    }
    return fd;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// An object found under the root: an O_PATH descriptor and its path below
// the root ("" for the root itself, else "/a/b"), free of links.
struct Located {
    Fd fd;
    QString below;
    Error error = Error::None;
};

Located fail(Error error)
{
    Located located;
    located.error = error;
    return located;
}

Located kernelLocate(int root, const QString &path)
{
    Located found;
    found.fd = Fd(int(openat2(root, path, O_PATH, RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS)));
    if (!found.fd)
        return fail(errorFromErrno(errno));

    // The kernel knows where it landed; read that back and make sure it
    // names the same object below the root without any link.
    const std::optional<QString> rootPath = pathOfFd(root);
    const std::optional<QString> objectPath = pathOfFd(found.fd.get());
    if (!rootPath || !objectPath)
        return fail(Error::Failed);
    if (*objectPath == *rootPath) {
        found.below.clear();
    } else if (*rootPath == QLatin1String("/") && objectPath->startsWith(QLatin1Char('/'))) {
        found.below = *objectPath;
    } else if (objectPath->startsWith(*rootPath + QLatin1Char('/'))) {
        found.below = objectPath->mid(rootPath->size());
    } else {
        return fail(Error::OutsideVolume);
    }
    const Fd check(int(openat2(root, found.below, O_PATH | O_NOFOLLOW, RESOLVE_IN_ROOT | RESOLVE_NO_SYMLINKS)));
    struct stat expected {};
    struct stat seen {};
    if (!check || ::fstat(found.fd.get(), &expected) != 0 || ::fstat(check.get(), &seen) != 0
        || !sameFile(expected, seen))
        return fail(Error::Failed);
    return found;
}

// What openat2 does, one component at a time: each step is opened without
// following, and a link's target is pushed back into the queue, starting
// over at the root when it is absolute.
Located walkLocate(int root, const QString &path)
{
    std::vector<Fd> opened; // one per name below the root
    QStringList names;
    QStringList pending = components(path);
    std::reverse(pending.begin(), pending.end());
    bool atFolder = true;
    int links = 0;

    while (!pending.isEmpty()) {
        const QString part = pending.takeLast();
        if (!atFolder)
            return fail(Error::NotAFolder);
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!names.isEmpty()) {
                opened.pop_back();
                names.removeLast();
            }
            continue;
        }
        const int here = opened.empty() ? root : opened.back().get();
        Fd next(::openat(here, QFile::encodeName(part).constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (!next || ::fstat(next.get(), &info) != 0)
            return fail(errorFromErrno(errno));
        if (S_ISLNK(info.st_mode)) {
            if (++links > kMaxLinks)
                return fail(Error::TooManyLinks);
            const std::optional<QString> target = readLink(next.get(), "");
            if (!target)
                return fail(Error::Failed);
            if (target->startsWith(QLatin1Char('/'))) {
                opened.clear();
                names.clear();
            }
            QStringList more = components(*target);
            std::reverse(more.begin(), more.end());
            pending.append(more);
            continue;
        }
        atFolder = S_ISDIR(info.st_mode);
        opened.push_back(std::move(next));
        names.append(part);
    }

    Located found;
    found.fd = Fd(opened.empty() ? ::fcntl(root, F_DUPFD_CLOEXEC, 0) : opened.back().release());
    if (!found.fd)
        return fail(Error::Failed);
    for (const QString &name : std::as_const(names))
        found.below += QLatin1Char('/') + name;
    return found;
}

// The last component of a path, found in its resolved folder. A final link
// is followed (with FinalLink::Follow) by resolving its target afresh, so
// the name that comes out is never a link. Paths that end at a folder
// ("/", "x/..") leave name empty and the folder in `folder`.
struct Entry {
    Located folder;
    QString name;
    bool exists = false;
    struct stat info {};
    Error error = Error::None;

    [[nodiscard]] QString below() const
    {
        return name.isEmpty() ? folder.below : folder.below + QLatin1Char('/') + name;
    }
};

Entry failedEntry(Error error)
{
    Entry entry;
    entry.error = error;
    return entry;
}

Entry findEntry(int root, const QString &volumePath, VolumeResolver::FinalLink finalLink, bool kernel)
{
    auto locate = [root, kernel](const QString &path) {
        return kernel ? kernelLocate(root, path) : walkLocate(root, path);
    };
    QString current = volumePath;
    for (int hop = 0;; ++hop) {
        QStringList parts = components(current);
        Entry entry;
        if (parts.isEmpty() || parts.last() == QLatin1String(".") || parts.last() == QLatin1String("..")) {
            entry.folder = locate(current);
            if (entry.folder.error != Error::None)
                return failedEntry(entry.folder.error);
            if (::fstat(entry.folder.fd.get(), &entry.info) != 0)
                return failedEntry(Error::Failed);
            entry.exists = true;
            return entry;
        }
        entry.name = parts.takeLast();
        entry.folder = locate(QLatin1Char('/') + parts.join(QLatin1Char('/')));
        if (entry.folder.error != Error::None)
            return failedEntry(entry.folder.error);
        struct stat folderInfo {};
        if (::fstat(entry.folder.fd.get(), &folderInfo) != 0)
            return failedEntry(Error::Failed);
        if (!S_ISDIR(folderInfo.st_mode))
            return failedEntry(Error::NotAFolder);

        const QByteArray name = QFile::encodeName(entry.name);
        if (::fstatat(entry.folder.fd.get(), name.constData(), &entry.info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                return entry;
            return failedEntry(errorFromErrno(errno));
        }
        entry.exists = true;
        if (!S_ISLNK(entry.info.st_mode) || finalLink == VolumeResolver::FinalLink::Keep)
            return entry;
        if (hop == kMaxLinks)
            return failedEntry(Error::TooManyLinks);
        const std::optional<QString> target = readLink(entry.folder.fd.get(), name.constData());
        if (!target)
            return failedEntry(Error::Failed);
        current = target->startsWith(QLatin1Char('/')) ? *target : entry.folder.below + QLatin1Char('/') + *target;
    }
}

} // namespace

VolumeResolver::VolumeResolver(Volume volume, Method method) : m_volume(std::move(volume)), m_method(method) {}

bool VolumeResolver::kernelResolvesInRoot()
{
    // Containers may filter the call out, and without /proc the kernel
    // cannot tell us where a lookup landed.
    static const bool available = [] {
        const Fd fd(int(openat2(AT_FDCWD, QStringLiteral("/"), O_PATH, RESOLVE_IN_ROOT)));
        return fd && pathOfFd(fd.get()).has_value();
    }();
    return available;
}

bool VolumeResolver::usesKernel() const
{
    return m_method == Method::Kernel && kernelResolvesInRoot();
}

namespace {

Entry search(const Volume &volume, const QString &volumePath, VolumeResolver::FinalLink finalLink, bool kernel,
             bool mustExist)
{
    if (volumePath.isEmpty())
        return failedEntry(Error::Missing);
    const Fd root(::open(QFile::encodeName(volume.root()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!root)
        return failedEntry(errorFromErrno(errno));
    Entry entry = findEntry(root.get(), volumePath, finalLink, kernel);
    if (entry.error == Error::None && mustExist && !entry.exists)
        entry.error = Error::Missing;
    return entry;
}

// The file an entry names, opened with `flags`; the entry was seen not to
// be a link, and O_NOFOLLOW keeps it from turning into one meanwhile.
Fd openEntry(const Entry &entry, int flags)
{
    const char *name = entry.name.isEmpty() ? "." : nullptr;
    const QByteArray encoded = QFile::encodeName(entry.name);
    return Fd(::openat(entry.folder.fd.get(), name ? name : encoded.constData(), flags | O_NOFOLLOW | O_CLOEXEC));
}

} // namespace

VolumeResolver::Result<QString> VolumeResolver::resolve(const QString &volumePath) const
{
    if (m_volume.isRootFilesystem())
        return volumePath;
    const Entry entry = search(m_volume, volumePath, FinalLink::Follow, usesKernel(), true);
    if (entry.error != Error::None)
        return entry.error;
    return m_volume.root() + entry.below();
}

VolumeResolver::Result<QString> VolumeResolver::writablePath(const QString &volumePath, FinalLink finalLink) const
{
    if (m_volume.isRootFilesystem())
        return volumePath;
    const Entry entry = search(m_volume, volumePath, finalLink, usesKernel(), false);
    if (entry.error != Error::None)
        return entry.error;
    return m_volume.root() + entry.below();
}

VolumeResolver::Result<QString> VolumeResolver::pathToCreate(const QString &volumePath) const
{
    auto found = writablePath(volumePath);
    const int slash = volumePath.lastIndexOf(QLatin1Char('/'));
    if (found || found.error() != Error::Missing || slash <= 0)
        return found;
    const auto parent = pathToCreate(volumePath.left(slash));
    if (!parent)
        return parent;
    const QString path = *parent + volumePath.mid(slash);
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0)
        return Error::Failed;
    if (errno != ENOENT)
        return errorFromErrno(errno);
    return path;
}

VolumeResolver::Result<std::unique_ptr<QFile>> VolumeResolver::openForReading(const QString &volumePath) const
{
    // Without O_NONBLOCK a FIFO would hold the open until a writer came.
    constexpr int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
    Fd fd;
    struct stat info {};
    if (m_volume.isRootFilesystem()) {
        fd = Fd(::open(QFile::encodeName(volumePath).constData(), flags | O_CLOEXEC));
        if (!fd)
            return errorFromErrno(errno);
        if (::fstat(fd.get(), &info) != 0)
            return Error::Failed;
    } else {
        const Entry entry = search(m_volume, volumePath, FinalLink::Follow, usesKernel(), true);
        if (entry.error != Error::None)
            return entry.error;
        // Devices and FIFOs on a foreign volume are not opened at all.
        if (!S_ISREG(entry.info.st_mode))
            return Error::NotAFile;
        fd = openEntry(entry, flags);
        if (!fd)
            return errorFromErrno(errno);
        if (::fstat(fd.get(), &info) != 0 || !sameFile(info, entry.info))
            return Error::Failed;
    }
    if (!S_ISREG(info.st_mode))
        return Error::NotAFile;
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    auto file = std::make_unique<QFile>();
    if (!file->open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return Error::Failed;
    (void)fd.release();
    return file;
}

VolumeResolver::Result<QStringList> VolumeResolver::list(const QString &folderVolumePath) const
{
    constexpr int flags = O_RDONLY | O_DIRECTORY;
    Fd fd;
    if (m_volume.isRootFilesystem()) {
        fd = Fd(::open(QFile::encodeName(folderVolumePath).constData(), flags | O_CLOEXEC));
    } else {
        const Entry entry = search(m_volume, folderVolumePath, FinalLink::Follow, usesKernel(), true);
        if (entry.error != Error::None)
            return entry.error;
        fd = openEntry(entry, flags);
    }
    if (!fd)
        return errorFromErrno(errno);

    DIR *dir = ::fdopendir(fd.get());
    if (!dir)
        return Error::Failed;
    (void)fd.release();
    QStringList names;
    errno = 0;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name != "." && name != "..")
            names.append(QFile::decodeName(name));
    }
    const bool complete = errno == 0;
    ::closedir(dir);
    if (!complete)
        return Error::Failed;
    names.sort();
    return names;
}

VolumeResolver::Result<VolumeResolver::Place> VolumeResolver::locate(const QString &volumePath) const
{
    Entry entry = search(m_volume, volumePath, FinalLink::Keep, usesKernel(), false);
    if (entry.error != Error::None)
        return entry.error;
    if (entry.name.isEmpty())
        return Error::NotAFile; // the path names a folder, not an entry in one
    Place place;
    // Reopened for reading, so that it can be synced and locked; a folder
    // one may search but not list keeps its search-only descriptor.
    place.folder = Fd(::openat(entry.folder.fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!place.folder)
        place.folder = std::move(entry.folder.fd);
    place.name = QFile::encodeName(entry.name);
    place.exists = entry.exists;
    place.info = entry.info;
    return place;
}

VolumeResolver::Result<UniqueFd> VolumeResolver::openFolder(const QString &volumePath) const
{
    const Entry entry = search(m_volume, volumePath, FinalLink::Follow, usesKernel(), true);
    if (entry.error != Error::None)
        return entry.error;
    if (!S_ISDIR(entry.info.st_mode))
        return Error::NotAFolder;
    Fd fd = openEntry(entry, O_RDONLY | O_DIRECTORY);
    if (!fd && errno == EACCES)
        fd = openEntry(entry, O_PATH | O_DIRECTORY);
    if (!fd)
        return errorFromErrno(errno);
    return fd;
}
