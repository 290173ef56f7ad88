#include "tools/FileOperation.h"

#include "tools/AllowedRequests.h"

#include "platform/BoundedFile.h"
#include "platform/LoginWindow.h"
#include "platform/LookFiles.h"
#include "platform/SideFiles.h"
#include "platform/VolumeResolver.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace FileOperation {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

// The kernel's lookup inside the root where it has one; the tests also
// take the component walk that stands in for it on older kernels.
VolumeResolver resolverFor(const QString &root)
{
    const bool walk = qEnvironmentVariable("LUMORA_FILEOP_LOOKUP") == QLatin1String("walk");
    return VolumeResolver(Volume(root), walk ? VolumeResolver::Method::ComponentWalk : VolumeResolver::Method::Kernel);
}

void requestStop(int)
{
    g_stopRequested = 1;
}

// A stop (the application's own, or sudo passing it on) undoes the step
// rather than finish it: nothing is renamed into place after it.
void watchForStop()
{
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int fail(const QString &path, const QByteArray &why)
{
    std::fprintf(stderr, "lumora-fileop: %s: %s; nothing was changed\n", path.toLocal8Bit().constData(),
                 why.constData());
    return kExitFailure;
}

QByteArray errnoText(int error)
{
    return QByteArray(std::strerror(error));
}

QByteArray lookupText(VolumeResolver::Error error)
{
    switch (error) {
    case VolumeResolver::Error::Missing:
        return "a folder on the way does not exist";
    case VolumeResolver::Error::NotAFolder:
        return "a file stands where a folder must be";
    case VolumeResolver::Error::NotAFile:
        return "names a folder, not a file in one";
    case VolumeResolver::Error::TooManyLinks:
        return "too many links on the way (a loop?)";
    case VolumeResolver::Error::OutsideVolume:
        return "the path left the volume while it was looked up";
    case VolumeResolver::Error::None:
    case VolumeResolver::Error::Failed:
        break;
    }
    return "cannot be looked up on the volume";
}

// What stands at a name, for refusals.
QByteArray kindOf(const struct stat &info)
{
    if (S_ISLNK(info.st_mode))
        return "is a link";
    if (S_ISDIR(info.st_mode))
        return "is a folder";
    if (S_ISFIFO(info.st_mode))
        return "is a FIFO";
    return "is not a regular file";
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool copyAll(int from, int to)
{
    char block[1 << 16];
    for (;;) {
        if (g_stopRequested)
            return false;
        const ssize_t n = ::read(from, block, sizeof block);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, block + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            done += w;
        }
    }
}

// A regular file of the volume opened for reading; the name was seen not to
// be a link, and O_NOFOLLOW with the inode check keeps anything swapped in
// since from being read instead.
UniqueFd openRegular(const VolumeResolver::Place &place)
{
    UniqueFd fd(::openat(place.folder.get(), place.name.constData(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (!fd || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(opened, place.info))
        return UniqueFd();
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// A hidden file beside `name` that nobody can guess in advance, created
// here and now (never one that was already there).
struct SideFile {
    UniqueFd fd;
    QByteArray name;
};

SideFile createSideFile(int folder, const QByteArray &name)
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    SideFile side;
    for (int attempt = 0; attempt < 16 && !side.fd; ++attempt) {
        side.name = '.' + name + ".lumora-";
        for (int i = 0; i < 8; ++i)
            side.name += digits[QRandomGenerator::system()->bounded(int(sizeof digits - 1))];
        side.fd = UniqueFd(::openat(folder, side.name.constData(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!side.fd && errno != EEXIST)
            break;
    }
    return side;
}

// The content of `input` in a new side file beside `name`, with `mode`,
// on disk; the side file is removed again when that fails.
bool writeSideFile(const VolumeResolver::Place &place, int input, mode_t mode, SideFile &side, QByteArray &why)
{
    side = createSideFile(place.folder.get(), place.name);
    if (!side.fd) {
        why = "cannot create a file beside it: " + errnoText(errno);
        return false;
    }
    if (!copyAll(input, side.fd.get()) || ::fchmod(side.fd.get(), mode) != 0 || ::fsync(side.fd.get()) != 0) {
        why = g_stopRequested ? QByteArray("stopped") : "cannot write: " + errnoText(errno);
        ::unlinkat(place.folder.get(), side.name.constData(), 0);
        return false;
    }
    if (::close(side.fd.release()) != 0) {
        why = "cannot write: " + errnoText(errno);
        ::unlinkat(place.folder.get(), side.name.constData(), 0);
        return false;
    }
    return true;
}

mode_t creationMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// renameat2 without replacing; where the file system cannot do that, a
// hard link, which never replaces either. False with errno EEXIST when
// something is already there.
bool moveWithoutReplacing(int folder, const QByteArray &from, const QByteArray &to)
{
    if (::syscall(SYS_renameat2, folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::linkat(folder, from.constData(), folder, to.constData(), 0) != 0)
        return false;
    ::unlinkat(folder, from.constData(), 0);
    return true;
}

// The regular file at `file`, or the status of its refusal (reported).
struct Lookup {
    std::optional<VolumeResolver::Place> place;
    int refused = 0;
};

Lookup regularFile(const QString &root, const QString &file)
{
    auto found = resolverFor(root).locate(file);
    if (!found)
        return {std::nullopt, fail(file, lookupText(found.error()))};
    if (!found->exists)
        return {std::nullopt, fail(file, "does not exist")};
    if (!S_ISREG(found->info.st_mode))
        return {std::nullopt, fail(file, kindOf(found->info))};
    // Another name of the same file may stand anywhere on that file system,
    // the host's own files included: what is read or changed here must be
    // the volume's alone.
    if (found->info.st_nlink > 1)
        return {std::nullopt, fail(file, "has other names (hard links), so it is not the volume's alone")};
    return {std::move(*found), 0};
}

} // namespace

int install(const QString &root, const QString &file, int input)
{
    auto found = resolverFor(root).locate(file);
    if (!found)
        return fail(file, lookupText(found.error()));
    const VolumeResolver::Place &place = *found;
    if (place.exists && !S_ISREG(place.info.st_mode))
        return fail(file, kindOf(place.info));
    const mode_t mode = place.exists ? place.info.st_mode & 0777 : creationMode();

    SideFile side;
    QByteArray why;
    if (!writeSideFile(place, input, mode, side, why))
        return fail(file, why);
    if (g_stopRequested || ::renameat(place.folder.get(), side.name.constData(), place.folder.get(),
                                      place.name.constData()) != 0) {
        why = g_stopRequested ? QByteArray("stopped") : "cannot replace it: " + errnoText(errno);
        ::unlinkat(place.folder.get(), side.name.constData(), 0);
        return fail(file, why);
    }
    // The new name on disk too (a folder open only for searching cannot be synced).
    ::fsync(place.folder.get());
    return 0;
}

int backup(const QString &root, const QString &file, const QString &backupFile)
{
    const VolumeResolver files = resolverFor(root);
    auto [source, refused] = regularFile(root, file);
    if (!source)
        return refused;
    auto target = files.locate(backupFile);
    if (!target)
        return fail(backupFile, lookupText(target.error()));
    // The older backup wins, whatever it is.
    if (target->exists)
        return 0;
    // Only an image is ever backed up; a sparse file of any size would
    // otherwise fill the volume with its copy.
    if (source->info.st_size > BoundedFile::kMaxImageBytes)
        return fail(file, "is larger than any image (" + QByteArray::number(qint64(source->info.st_size))
                              + " bytes, at most " + QByteArray::number(BoundedFile::kMaxImageBytes) + ")");
    const UniqueFd input = openRegular(*source);
    if (!input)
        return fail(file, "changed while it was opened");

    SideFile side;
    QByteArray why;
    if (!writeSideFile(*target, input.get(), source->info.st_mode & 0777, side, why))
        return fail(backupFile, why);
    const bool moved = !g_stopRequested && moveWithoutReplacing(target->folder.get(), side.name, target->name);
    const int error = errno;
    if (!moved) {
        ::unlinkat(target->folder.get(), side.name.constData(), 0);
        if (!g_stopRequested && error == EEXIST)
            return 0; // made meanwhile by someone else: that one is kept
        return fail(backupFile, g_stopRequested ? QByteArray("stopped") : "cannot put it in place: " + errnoText(error));
    }
    ::fsync(target->folder.get());
    return 0;
}

int makeFolder(const QString &root, const QString &folder)
{
    const VolumeResolver files = resolverFor(root);
    auto current = files.openFolder(QStringLiteral("/"));
    if (!current)
        return fail(folder, lookupText(current.error()));
    UniqueFd here = std::move(*current);
    QString path;
    for (const QString &part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return fail(folder, "must name its folders plainly");
        path += QLatin1Char('/') + part;
        auto next = files.openFolder(path);
        if (next) {
            here = std::move(*next);
            continue;
        }
        if (next.error() != VolumeResolver::Error::Missing)
            return fail(path, lookupText(next.error()));
        const QByteArray name = QFile::encodeName(part);
        if (::mkdirat(here.get(), name.constData(), 0777) != 0 && errno != EEXIST)
            return fail(path, "cannot create the folder: " + errnoText(errno));
        // What is there now must be a folder, not a link put in its place.
        UniqueFd made(::openat(here.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!made)
            return fail(path, errno == ELOOP || errno == ENOTDIR ? QByteArray("is not a folder")
                                                                 : "cannot open the folder: " + errnoText(errno));
        ::fsync(here.get());
        here = std::move(made);
    }
    return 0;
}

int setMode(const QString &root, const QString &modeText, const QString &file)
{
    static const QRegularExpression octal(QStringLiteral("^[0-7]{3,4}$"));
    if (!octal.match(modeText).hasMatch())
        return fail(file, "the mode must be octal digits, as chmod takes them");
    const mode_t mode = mode_t(modeText.toUInt(nullptr, 8));
    if (!AllowedRequests::isSaveMode(mode))
        return fail(file, "the mode " + modeText.toLatin1() + " is not one a save sets (644 or 664)");
    auto [found, refused] = regularFile(root, file);
    if (!found)
        return refused;
    UniqueFd fd(::openat(found->folder.get(), found->name.constData(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    // A file its owner may write but not read (run as that owner).
    if (!fd && errno == EACCES)
        fd = UniqueFd(::openat(found->folder.get(), found->name.constData(),
                               O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (!fd || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(opened, found->info))
        return fail(file, "changed while it was opened");
    if (::fchmod(fd.get(), mode) != 0)
        return fail(file, "cannot set the mode: " + errnoText(errno));
    return 0;
}

int moveOut(const QString &root, const QString &file, int output)
{
    auto [found, refused] = regularFile(root, file);
    if (!found)
        return refused;
    const UniqueFd input = openRegular(*found);
    if (!input)
        return fail(file, "changed while it was opened");
    if (!copyAll(input.get(), output))
        return fail(file, g_stopRequested ? QByteArray("stopped") : "cannot copy it out: " + errnoText(errno));
    if (::fsync(output) != 0 && errno != EINVAL && errno != EROFS)
        return fail(file, "cannot copy it out: " + errnoText(errno));
    // Only the file that was copied goes.
    struct stat now {};
    if (::fstatat(found->folder.get(), found->name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0
        || !sameFile(now, found->info))
        return fail(file, "changed while it was copied; it was left where it is");
    if (::unlinkat(found->folder.get(), found->name.constData(), 0) != 0)
        return fail(file, "cannot remove it: " + errnoText(errno));
    ::fsync(found->folder.get());
    return 0;
}

int remove(const QString &root, const QString &file)
{
    const VolumeResolver files = resolverFor(root);
    auto found = files.locate(file);
    if (!found)
        return fail(file, lookupText(found.error()));
    // An entry of the history of looks, pruned: only a regular file, never
    // what a link there leads to, nor the link.
    if (AllowedRequests::isHistoryEntry(files, file)) {
        if (!found->exists)
            return 0;
        if (!S_ISREG(found->info.st_mode))
            return fail(file, kindOf(found->info));
        if (::unlinkat(found->folder.get(), found->name.constData(), 0) != 0 && errno != ENOENT)
            return fail(file, "cannot remove it: " + errnoText(errno));
        ::fsync(found->folder.get());
        return 0;
    }
    // Our own hidden files, and the picture this program installs in its
    // own folder (once nothing names it); nothing else, whatever it is asked.
    const bool installedPicture = file == LoginWindow::kInstalledBackground && S_ISREG(found->info.st_mode);
    if (!SideFiles::isLeftoverName(QFile::decodeName(found->name)) && !installedPicture)
        return fail(file, "is not one of this program's own files");
    if (!found->exists)
        return 0;
    if (!S_ISREG(found->info.st_mode) && !S_ISLNK(found->info.st_mode))
        return fail(file, kindOf(found->info));
    if (::unlinkat(found->folder.get(), found->name.constData(), 0) != 0 && errno != ENOENT)
        return fail(file, "cannot remove it: " + errnoText(errno));
    return 0;
}

int run(const QStringList &arguments)
{
    auto usage = [] {
        std::fprintf(stderr, "usage: lumora-fileop --root ROOT install FILE < CONTENT | backup FILE BACKUP | mkdir "
                             "FOLDER | chmod MODE FILE | move-out FILE > COPY | remove FILE\n"
                             "FILE, BACKUP and FOLDER are paths on the volume at ROOT.\n");
        return kExitUsage;
    };
    if (arguments.size() < 4 || arguments.at(0) != QLatin1String("--root") || arguments.at(1).isEmpty())
        return usage();
    const QString &root = arguments.at(1);
    const QString &command = arguments.at(2);
    const QStringList rest = arguments.mid(3);
    for (const QString &path : rest) {
        if (path.isEmpty())
            return usage();
    }
    auto isVolumePath = [](const QString &path) { return path.startsWith(QLatin1Char('/')); };
    const bool known = (command == QLatin1String("install") && rest.size() == 1 && isVolumePath(rest[0]))
                       || (command == QLatin1String("backup") && rest.size() == 2 && isVolumePath(rest[0])
                           && isVolumePath(rest[1]))
                       || (command == QLatin1String("mkdir") && rest.size() == 1 && isVolumePath(rest[0]))
                       || (command == QLatin1String("chmod") && rest.size() == 2 && isVolumePath(rest[1]))
                       || (command == QLatin1String("move-out") && rest.size() == 1 && isVolumePath(rest[0]))
                       || (command == QLatin1String("remove") && rest.size() == 1 && isVolumePath(rest[0]));
    if (!known)
        return usage();
    // Whoever runs this, it touches only a Mac OS X volume, and there only
    // what a save writes.
    if (const auto refused = AllowedRequests::refusedRoot(root))
        return fail(root, *refused);
    const VolumeResolver files = resolverFor(root);
    const QString &path = rest.constLast();
    auto notOurs = [&path](const QByteArray &what) { return fail(path, "is not " + what); };
    watchForStop();
    if (command == QLatin1String("install"))
        return AllowedRequests::isSaveTarget(files, path) || AllowedRequests::isHistoryEntry(files, path)
                   ? install(root, path, STDIN_FILENO)
                   : notOurs("an image, picture or shared file a save writes");
    if (command == QLatin1String("backup"))
        return AllowedRequests::isBackupOf(files, rest[0], rest[1])
                   ? backup(root, rest[0], rest[1])
                   : notOurs("the backup of an image or picture a save replaces");
    if (command == QLatin1String("mkdir"))
        return AllowedRequests::isSharedFolder(files, path) || AllowedRequests::isHistoryFolder(files, path)
                   ? makeFolder(root, path)
                   : notOurs("the shared folder");
    if (command == QLatin1String("chmod"))
        return AllowedRequests::isSaveTarget(files, path) ? setMode(root, rest[0], path)
                                                          : notOurs("an image, picture or shared file a save writes");
    if (command == QLatin1String("move-out"))
        return AllowedRequests::isOtherImageFormat(files, path)
                   ? moveOut(root, path, STDOUT_FILENO)
                   : notOurs("another format of the login window's logo or title");
    return remove(root, path);
}

} // namespace FileOperation
