// Groundwork of the save operations: staging files in the user's own
// support folder, one-time backups of stock system files, the shared
// support folder on the volume, and file modes.

#include "privileged/Staging.h"

#include "platform/Interruption.h"
#include "platform/LoginWindow.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <utility>

namespace {

// The permission bits of a regular file, as "/bin/chmod" takes them.
std::optional<QString> modeOf(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return QString::number(status.st_mode & 0777, 8);
}

// A name beside `destination` that nobody can guess in advance, so that
// nothing can be planted there for the privileged copy to write through.
QString sideFileFor(const QFileInfo &destination)
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < 8; ++i)
        tag += QLatin1Char(digits[QRandomGenerator::system()->bounded(int(sizeof digits - 1))]);
    return destination.dir().filePath(QStringLiteral(".%1.lumora-%2").arg(destination.fileName(), tag));
}

// The volume path a host path on the volume names; nothing for a path
// elsewhere (our own staging files).
std::optional<QString> volumePathOf(const Volume &volume, const QString &hostPath)
{
    if (volume.isRootFilesystem())
        return hostPath;
    if (hostPath == volume.root())
        return QStringLiteral("/");
    if (hostPath.startsWith(volume.root() + QLatin1Char('/')))
        return hostPath.mid(volume.root().size());
    return std::nullopt;
}

// Our hidden files: ".NAME.lumora-XXXXXXXX" beside an installed file, and
// the preference tool's ".com.apple.loginwindow.plist.XXXXXX".
bool isLeftoverName(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.(.+\\.lumora-[a-z0-9]{8}|com\\.apple\\.loginwindow\\.plist\\.[A-Za-z0-9]{6})$"));
    return pattern.match(name).hasMatch();
}

// Every file some process has open, as device and inode. Only what we may
// look at counts: without administrator rights another user's tools are
// not seen.
std::set<std::pair<dev_t, ino_t>> openFiles()
{
    std::set<std::pair<dev_t, ino_t>> open;
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : processes) {
        bool number = false;
        (void)pid.toInt(&number);
        if (!number)
            continue;
        const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString &fd : QDir(fds).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            struct stat info {};
            if (::stat(QFile::encodeName(fds + QLatin1Char('/') + fd).constData(), &info) == 0)
                open.emplace(info.st_dev, info.st_ino);
        }
    }
    return open;
}

// Syncing a file flushes its data; syncing a folder flushes the names in it.
bool syncToDisk(Authorization &runner, const QString &path)
{
    return runner.executeTool(QStringLiteral("/bin/sync"), path, std::nullopt, std::nullopt);
}

} // namespace

QString Staging::applicationSupportPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/Lumora Login");
}

QString Staging::tempFilePathWithName(const std::optional<QString> &name)
{
    const QString folder = applicationSupportPath();
    if (!QFileInfo::exists(folder) && !QDir().mkpath(folder))
        Log::write(QStringLiteral("Failed to create directory: %1").arg(folder));
    return folder + QLatin1Char('/') + name.value_or(QStringLiteral("image"));
}

QString Staging::backupPathForPath(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) // no extension (or only a leading dot)
        return path + QStringLiteral("_Original");
    return path.left(dot) + QStringLiteral("_Original") + path.mid(dot);
}

QString Staging::backupMadeKey(const QString &defaultsKey) const
{
    if (m_volume.isRootFilesystem())
        return defaultsKey;
    // One user may edit several volumes in turn; a backup made on one says
    // nothing about another.
    const QFileInfo root(m_volume.root());
    const QString where = root.canonicalFilePath().isEmpty() ? root.absoluteFilePath() : root.canonicalFilePath();
    return QStringLiteral("Volumes/%1/%2").arg(QString::fromLatin1(QUrl::toPercentEncoding(where)), defaultsKey);
}

bool Staging::backupFile(const QString &path, bool withAuthorization, const QString &defaultsKey) const
{
    UserDefaults &defaults = *m_defaults;
    const QString key = backupMadeKey(defaultsKey);
    // The volume itself says whether it has a backup (it may have been
    // re-imaged, or be another disk mounted at the same place, since the key
    // was stored). Both paths as the volume's links lead; a file that is
    // simply not there has nothing to back up, but one whose path leads off
    // the volume fails.
    const VolumeResolver files = resolver();
    const auto resolvedFile = files.writablePath(path);
    const auto resolvedBackup = files.writablePath(backupPathForPath(path));
    if (!resolvedBackup || (!resolvedFile && resolvedFile.error() != VolumeResolver::Error::Missing)) {
        Log::write(QStringLiteral("Unable to backup file for key %1").arg(defaultsKey));
        return false;
    }
    const QString file = resolvedFile ? *resolvedFile : QString();
    if (!file.isEmpty() && QFileInfo::exists(file)) {
        const QString &backup = *resolvedBackup;
        if (!QFileInfo::exists(backup)) {
            // Both ways leave either a whole backup or none: a half-made one
            // would pass for the real thing at the next save.
            const bool copied = withAuthorization ? copyIntoPlace(file, backup) : QFile::copy(file, backup);
            // Only a backup that is really there lets the caller go on to
            // replace the stock file.
            if (!copied || !QFileInfo::exists(backup)) {
                // The key stays NO so that the next save tries again.
                Log::write(QStringLiteral("Unable to backup file for key %1").arg(defaultsKey));
                return false;
            }
        }
    }
    defaults.setBool(key, true);
    return true;
}

bool Staging::copyIntoPlace(const QString &sourcePath, const QString &destinationPath) const
{
    // Both ends as the volume's links lead; a source off the volume is one of
    // our own staging files, a destination off it is refused.
    const VolumeResolver files = resolver();
    QString source = sourcePath;
    if (const auto onVolume = volumePathOf(m_volume, sourcePath)) {
        const auto resolved = files.resolve(*onVolume);
        if (!resolved)
            return false;
        source = *resolved;
    }
    const auto onVolume = volumePathOf(m_volume, destinationPath);
    const auto resolvedDestination = onVolume ? files.writablePath(*onVolume)
                                              : VolumeResolver::Result<QString>(VolumeResolver::Error::OutsideVolume);
    if (!resolvedDestination)
        return false;
    const QString &destination = *resolvedDestination;
    Authorization &runner = *m_runner;
    const QFileInfo target(destination);
    const QString side = sideFileFor(target);
    const std::optional<QString> mode = modeOf(destination);
    // A stop signal between the tools undoes the step rather than finish it.
    auto goOn = [](bool sofar) { return sofar && !Interruption::requested(); };
    // "/bin/cp" writing straight over the file would leave it cut short if
    // the copy failed half-way (a full disk), and would write through a
    // symbolic link planted in its place.
    bool installed = runner.executeTool(QStringLiteral("/bin/cp"), source, side, std::nullopt);
    if (goOn(installed) && mode && modeOf(side) != mode)
        installed = runner.executeTool(QStringLiteral("/bin/chmod"), *mode, side, std::nullopt);
    // On disk before it is given the name: after a power cut the name must
    // not lead to an empty file.
    if (goOn(installed))
        installed = syncToDisk(runner, side);
    if (goOn(installed)) {
        // -T: a folder at the destination is a failure, not a place to move into.
        installed = runner.executeTool(QStringLiteral("/bin/mv"), QStringLiteral("-f"), QStringLiteral("-T"), side,
                                       destination);
        if (installed)
            (void)syncToDisk(runner, target.absolutePath());
    } else {
        installed = false;
    }
    const QFileInfo leftOver(side);
    if (!installed && (leftOver.exists() || leftOver.isSymLink()))
        (void)runner.executeTool(QStringLiteral("/bin/rm"), QStringLiteral("-f"), side, std::nullopt);
    return installed;
}

int Staging::removeLeftovers() const
{
    // The folders as the volume's links lead: a link off the volume must not
    // steer the removal onto the host.
    const VolumeResolver files = resolver();
    QStringList folders;
    for (const QString &volumeFolder :
         {QFileInfo(LoginWindow::kLogoFirstPlace).path(), QFileInfo(LoginWindow::kTitleFirstPlace).path(),
          LoginWindow::kSharedSupportFolder, QFileInfo(LoginWindow::kDomain).path(),
          QFileInfo(LoginWindow::kTigerDefaultBackground).path()}) {
        const auto folder = files.resolve(volumeFolder);
        if (folder && QFileInfo(*folder).isDir())
            folders << *folder;
    }
    QStringList found;
    for (const QString &folder : std::as_const(folders)) {
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        for (const QString &name : names) {
            const QString path = folder + QLatin1Char('/') + name;
            if (isLeftoverName(name) && !found.contains(path))
                found << path;
        }
    }
    if (found.isEmpty())
        return 0;

    const auto open = openFiles();
    int removed = 0;
    for (const QString &path : std::as_const(found)) {
        const QByteArray name = QFile::encodeName(path);
        struct stat info {};
        if (::lstat(name.constData(), &info) != 0 || !(S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)))
            continue;
        if (S_ISREG(info.st_mode) && open.count({info.st_dev, info.st_ino}))
            continue;
        // Left by a tool that ran as administrator, it may only go the same way.
        if (::unlink(name.constData()) == 0
            || (errno != ENOENT && m_runner
                && m_runner->executeTool(QStringLiteral("/bin/rm"), QStringLiteral("-f"), path, std::nullopt))) {
            Log::write(QStringLiteral("Removed %1, left by an interrupted save").arg(path));
            ++removed;
        }
    }
    return removed;
}

bool Staging::createApplicationSupportPath() const
{
    const VolumeResolver files = resolver();
    auto isFolder = [&files] {
        const auto found = files.resolve(LoginWindow::kSharedSupportFolder);
        return found && QFileInfo(*found).isDir();
    };
    if (isFolder())
        return true;
    const auto resolved = files.pathToCreate(LoginWindow::kSharedSupportFolder);
    if (!resolved) {
        Log::write(QStringLiteral("Unable to create directory at %1").arg(LoginWindow::kSharedSupportFolder));
        return false;
    }
    const QString &folder = *resolved;
    QDir().mkdir(folder);
    if (!isFolder()) {
        (void)m_runner->executeTool(QStringLiteral("/bin/mkdir"), QStringLiteral("-p"), folder,
                                                   std::nullopt);
    }
    if (!isFolder()) {
        Log::write(QStringLiteral("Unable to create directory at %1").arg(LoginWindow::kSharedSupportFolder));
        return false;
    }
    return true;
}

bool Staging::setMode(const QString &mode, const QString &path) const
{
    const auto file = resolver().resolve(path);
    const bool changed = file && m_runner->executeTool(QStringLiteral("/bin/chmod"), mode, *file, std::nullopt,
                                                       std::nullopt);
    if (!changed)
        Log::write(QStringLiteral("Failed to set privileges for new login background."));
    return changed;
}

QString Staging::preferenceToolPath() const
{
#ifdef Q_OS_MACOS
    // On the system itself its own tool writes its own domains.
    static const QString systemTool = QStringLiteral("/usr/bin/defaults");
    if (m_volume.isRootFilesystem() && QFileInfo(systemTool).isExecutable())
        return systemTool;
#endif
    // Elsewhere "/usr/bin/defaults" may be another program altogether (one
    // that keeps domains by name in the user's home), which would report
    // success without touching the volume.
    return m_bundle.helperPath(QStringLiteral("lumora-defaults"));
}

namespace {

// The login window's domain as the preference tool takes it: the file as
// the volume's links lead, without ".plist"; nothing when it leads off the
// volume or to a file the tool could not name.
std::optional<QString> domainArgument(const VolumeResolver &files)
{
    static const QString extension = QStringLiteral(".plist");
    const auto file = files.writablePath(LoginWindow::kDomain + extension);
    if (!file || !file->endsWith(extension))
        return std::nullopt;
    return file->chopped(extension.size());
}

} // namespace

bool Staging::writePreference(const QString &key, const QStringList &value) const
{
    const auto domain = domainArgument(resolver());
    return domain
           && m_runner->executeTool(preferenceToolPath(), QStringList{QStringLiteral("write"), *domain, key} + value);
}

bool Staging::deletePreference(const QString &key) const
{
    const auto domain = domainArgument(resolver());
    return domain && m_runner->executeTool(preferenceToolPath(), {QStringLiteral("delete"), *domain, key});
}
