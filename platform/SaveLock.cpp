#include "platform/SaveLock.h"

#include "platform/Interruption.h"
#include "platform/Log.h"
#include "platform/LoginWindow.h"
#include "platform/VolumeResolver.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRetryMs = 50;

// Opens (or makes) the machine-wide lock file without following a link
// planted in its place. Read-only is enough for flock, so a file another
// user made serves everyone.
int openMachineLock(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT)
            fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue; // made by someone else just now
        if (fd < 0)
            return -1;
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    return -1;
}

bool namesSameFile(const QString &path, int fd)
{
    struct stat named {};
    struct stat held {};
    return ::stat(QFile::encodeName(path).constData(), &named) == 0 && ::fstat(fd, &held) == 0
           && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

enum class Taken { Yes, Busy, Unusable };

// The machine a lock file names on its third line, as QLockFile writes it
// (process, program, machine), which older copies still read.
QByteArray holderMachine(int fd)
{
    char text[1024];
    const ssize_t n = ::pread(fd, text, sizeof text, 0);
    if (n <= 0)
        return {};
    const QList<QByteArray> lines = QByteArray(text, int(n)).split('\n');
    return lines.size() > 2 ? lines.at(2).trimmed() : QByteArray();
}

// Takes the lock file `name` in `folder` (AT_FDCWD for a path): the
// kernel's lock on it, then the file made ours. A file whose holder on this
// machine is gone, however early it died, is simply taken over.
Taken takeLockFile(int folder, const QByteArray &name, std::chrono::minutes staleAfter, UniqueFd &held)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        UniqueFd fd(::openat(folder, name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644));
        struct stat info {};
        if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
            return Taken::Unusable;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK || errno == EINTR ? Taken::Busy : Taken::Unusable;
        // The holder before us removes the file as it lets go; a lock on the
        // file it removed would be a lock on nothing.
        struct stat named {};
        if (::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != info.st_dev
            || named.st_ino != info.st_ino)
            continue;
        const QByteArray machine = holderMachine(fd.get());
        const QByteArray here = QSysInfo::machineHostName().toUtf8();
        const auto age = std::chrono::seconds(::time(nullptr) - info.st_mtime);
        if (!machine.isEmpty() && machine != here && age < staleAfter)
            return Taken::Busy;
        const QByteArray content = QByteArray::number(qint64(::getpid())) + "\nlumora-login\n" + here + '\n';
        if (::ftruncate(fd.get(), 0) != 0 || ::pwrite(fd.get(), content.constData(), size_t(content.size()), 0)
                                                  != ssize_t(content.size()))
            return Taken::Unusable;
        held = std::move(fd);
        return Taken::Yes;
    }
    return Taken::Busy;
}

// Removed while still locked, so that nothing is left behind; a waiter that
// opened it already sees that it is gone and makes the next one.
void dropLockFile(int folder, const QByteArray &name, UniqueFd &held)
{
    if (!held)
        return;
    struct stat info {};
    struct stat named {};
    if (::fstat(held.get(), &info) == 0 && ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && named.st_dev == info.st_dev && named.st_ino == info.st_ino)
        (void)::unlinkat(folder, name.constData(), 0);
    held = UniqueFd();
}

} // namespace

SaveLock::SaveLock(const Volume &volume, QString userFolder)
    : m_volume(volume), m_userFolder(std::move(userFolder))
{
}

SaveLock::~SaveLock()
{
    release();
}

QString SaveLock::userLockPath() const
{
    return m_userFolder + QStringLiteral("/save.lock");
}

QString SaveLock::machineLockPath() const
{
    // Named by the volume's folder itself, not by the path it was reached by.
    struct stat info {};
    QByteArray id;
    if (::stat(QFile::encodeName(m_volume.root()).constData(), &info) == 0)
        id = QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino));
    else
        id = QFile::encodeName(QFileInfo(m_volume.root()).absoluteFilePath());
    const QByteArray digest = QCryptographicHash::hash(id, QCryptographicHash::Sha256).toHex().left(16);
    // One folder for every user: a per-user TMPDIR would give each their own.
    return QStringLiteral("/tmp/lumora-login-volume-%1.lock").arg(QString::fromLatin1(digest));
}

QString SaveLock::volumeLockPath() const
{
    return m_volume.hostPath(LoginWindow::kSharedSupportFolder) + QStringLiteral("/save.lock");
}

SaveLock::Outcome SaveLock::acquire(std::chrono::milliseconds wait)
{
    release();
    const QDeadlineTimer deadline(wait);
    auto waitOrGiveUp = [&deadline](const QString &busy, QString &busyOut) {
        if (Interruption::requested())
            return Outcome::Interrupted;
        if (deadline.hasExpired()) {
            busyOut = busy;
            return Outcome::Busy;
        }
        QThread::msleep(kRetryMs);
        return Outcome::Held; // try again
    };
    // Polls a lock file until it is ours, given up (false with `outcome`),
    // or cannot be made at all (true with no lock).
    auto takeLock = [&](UniqueFd &slot, int folder, const QByteArray &name, Outcome &outcome,
                            const QString &shownPath) {
        for (;;) {
            switch (takeLockFile(folder, name, kStaleAfter, slot)) {
            case Taken::Yes:
            case Taken::Unusable:
                return true;
            case Taken::Busy:
                break;
            }
            outcome = waitOrGiveUp(shownPath, m_busy);
            if (outcome != Outcome::Held)
                return false;
        }
    };

    Outcome outcome = Outcome::Held;
    auto giveUp = [this, &outcome] {
        release();
        return outcome;
    };
    QDir().mkpath(m_userFolder);
    if (!takeLock(m_userLock, AT_FDCWD, QFile::encodeName(userLockPath()), outcome, userLockPath()))
        return giveUp();
    if (!m_userLock) {
        // The folder is read-only or full, so no copy can stage anything
        // there: go on, and let each step report what it could not do.
        Log::write(QStringLiteral("Unable to create the save lock in %1").arg(m_userFolder));
    }

    const QString machine = machineLockPath();
    for (;;) {
        m_machineFd = openMachineLock(machine);
        if (m_machineFd < 0) {
            Log::write(QStringLiteral("Unable to use the volume's save lock %1").arg(machine));
            break;
        }
        if (::flock(m_machineFd, LOCK_EX | LOCK_NB) == 0) {
            // The holder before us removes the file as it lets go; a lock
            // on the file it removed would be a lock on nothing.
            if (namesSameFile(machine, m_machineFd))
                break;
        } else if (errno != EWOULDBLOCK && errno != EINTR) {
            Log::write(QStringLiteral("Unable to use the volume's save lock %1").arg(machine));
            ::close(m_machineFd);
            m_machineFd = -1;
            break;
        } else {
            outcome = waitOrGiveUp(machine, m_busy);
        }
        ::close(m_machineFd);
        m_machineFd = -1;
        if (outcome != Outcome::Held)
            return giveUp();
    }

    // Only where we may write without administrator rights: asking for a
    // password merely to take turns would ask it of every save.
    auto shared = VolumeResolver(m_volume).openFolder(LoginWindow::kSharedSupportFolder);
    if (shared && ::faccessat((*shared).get(), ".", W_OK, AT_EACCESS) == 0) {
        m_sharedFolder = std::move(*shared);
        if (!takeLock(m_volumeLock, m_sharedFolder.get(), "save.lock", outcome, volumeLockPath()))
            return giveUp();
    }
    return Outcome::Held;
}

void SaveLock::refresh() const
{
    if (m_userLock)
        ::futimens(m_userLock.get(), nullptr);
    if (m_volumeLock)
        ::futimens(m_volumeLock.get(), nullptr);
}

void SaveLock::release()
{
    dropLockFile(m_sharedFolder.get(), "save.lock", m_volumeLock);
    m_sharedFolder = UniqueFd();
    if (m_machineFd >= 0) {
        // Removed while still locked, so that nothing is left in the
        // temporary folder; a waiter that opened it already sees that it
        // is gone and opens the next one. In a sticky folder only its maker
        // may remove it, and then it simply stays.
        (void)::unlink(QFile::encodeName(machineLockPath()).constData());
        ::flock(m_machineFd, LOCK_UN);
        ::close(m_machineFd);
        m_machineFd = -1;
    }
    dropLockFile(AT_FDCWD, QFile::encodeName(userLockPath()), m_userLock);
}
