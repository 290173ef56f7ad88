// Groundwork of the save operations: staging files in the user's own
// support folder, one-time backups of stock system files, the shared
// support folder on the volume, and file modes.

#include "privileged/Staging.h"

#include "platform/Interruption.h"
#include "platform/LoginWindow.h"
#include "platform/LookFiles.h"
#include "platform/Log.h"
#include "platform/SideFiles.h"
#include "platform/UniqueFd.h"
#include "platform/UserDefaults.h"
#include "platform/VolumePath.h"
#include "privileged/Authorization.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QStandardPaths>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <utility>

namespace {

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
            const bool copied = copyWithinVolume(file, backup, withAuthorization ? Rights::Administrator : Rights::User);
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

std::optional<QString> Staging::placeOnVolume(const QString &hostPath) const
{
    // The file a final link leads to on the volume is what gets written; the
    // tool itself follows no link in the last component.
    const auto onVolume = volumePathOf(m_volume, hostPath);
    const auto resolved = onVolume ? resolver().writablePath(*onVolume)
                                   : VolumeResolver::Result<QString>(VolumeResolver::Error::OutsideVolume);
    if (!resolved)
        return std::nullopt;
    return volumePathOf(m_volume, *resolved);
}

QString Staging::fileToolPath() const
{
    return m_bundle.helperPath(QStringLiteral("lumora-fileop"));
}

bool Staging::runFileTool(Rights rights, const QStringList &operation, const AuthorizationService::Streams &streams,
                          bool quiet) const
{
    const QStringList arguments = QStringList{QStringLiteral("--root"), m_volume.root()} + operation;
    if (rights == Rights::Administrator)
        return m_runner->executeTool(fileToolPath(), arguments, streams);
    return Authorization::runAsUser(fileToolPath(), arguments, streams, quiet);
}

bool Staging::copyIntoPlace(const QString &sourcePath, const QString &destinationPath, Rights rights) const
{
    const auto destination = placeOnVolume(destinationPath);
    if (!destination)
        return false;
    return installFromFile(sourcePath, *destination, rights);
}

bool Staging::installFromFile(const QString &sourcePath, const QString &volumePath, Rights rights) const
{
    // The source is one of our own staging files: opened here, with the
    // user's own rights, and handed to the tool as its input, so it is never
    // looked up by name with administrator rights.
    const UniqueFd source(::open(QFile::encodeName(sourcePath).constData(),
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!source || ::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        Log::write(QStringLiteral("Cannot read %1").arg(sourcePath));
        return false;
    }
    ::fcntl(source.get(), F_SETFL, ::fcntl(source.get(), F_GETFL) & ~O_NONBLOCK);
    return runFileTool(rights, {QStringLiteral("install"), volumePath}, {source.get(), -1});
}

bool Staging::copyWithinVolume(const QString &sourcePath, const QString &backupPath, Rights rights) const
{
    const auto source = placeOnVolume(sourcePath);
    const auto backup = placeOnVolume(backupPath);
    return source && backup && runFileTool(rights, {QStringLiteral("backup"), *source, *backup});
}

bool Staging::moveOut(const QString &volumePath, const QString &destination) const
{
    // The copy is written by us, in our own folder; the tool only reads the
    // entry on the volume and removes it. A file of that name in the folder
    // is replaced only once the whole copy is there.
    const QFileInfo target(destination);
    QTemporaryFile copy(target.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!copy.open())
        return false;
    if (!runFileTool(Rights::Administrator, {QStringLiteral("move-out"), volumePath}, {-1, int(copy.handle())}))
        return false;
    // An ordinary file of the user's, not the temporary file's private mode.
    copy.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    QFile::remove(destination);
    if (!copy.rename(destination)) {
        Log::write(QStringLiteral("Cannot keep %1 as %2").arg(volumePath, destination));
        return false;
    }
    copy.setAutoRemove(false);
    return true;
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
            if (SideFiles::isLeftoverName(name) && !found.contains(path))
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
        // Left by a tool that ran as administrator, it may only go the same
        // way; the tool removes nothing but a name of ours, in its folder.
        const auto onVolume = volumePathOf(m_volume, path);
        if (!onVolume)
            continue;
        const QStringList removal{QStringLiteral("remove"), *onVolume};
        if (runFileTool(Rights::User, removal, {}, true)
            || (m_runner && runFileTool(Rights::Administrator, removal))) {
            Log::write(QStringLiteral("Removed %1, left by an interrupted save").arg(path));
            ++removed;
        }
    }
    return removed;
}

bool Staging::removeInstalledBackground() const
{
    const auto found = resolver().writablePath(LoginWindow::kInstalledBackground, VolumeResolver::FinalLink::Keep);
    if (!found)
        return found.error() == VolumeResolver::Error::Missing;
    if (!QFileInfo::exists(*found))
        return true;
    return runFileTool(Rights::Administrator, {QStringLiteral("remove"), LoginWindow::kInstalledBackground});
}

bool Staging::createHistoryFolder() const
{
    const auto place = resolver().locate(LookFiles::kFolder);
    if (place && place->exists && S_ISDIR(place->info.st_mode))
        return true;
    return runFileTool(Rights::Administrator, {QStringLiteral("mkdir"), LookFiles::kFolder});
}

bool Staging::removeHistoryEntry(const QString &volumePath) const
{
    return runFileTool(Rights::Administrator, {QStringLiteral("remove"), volumePath});
}

bool Staging::installHistoryEntry(const QString &sourcePath, const QString &volumePath) const
{
    return installFromFile(sourcePath, volumePath, Rights::Administrator);
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
    const auto folder = volumePathOf(m_volume, *resolved);
    // One level with the user's own rights first, quietly (most often they
    // are not enough), then with its parents as administrator.
    const auto parent = files.resolve(QFileInfo(LoginWindow::kSharedSupportFolder).path());
    const bool userMadeIt = folder && parent && QFileInfo(*parent).isDir()
                            && runFileTool(Rights::User, {QStringLiteral("mkdir"), *folder}, {}, true);
    if (folder && !userMadeIt)
        (void)runFileTool(Rights::Administrator, {QStringLiteral("mkdir"), *folder});
    if (!isFolder()) {
        Log::write(QStringLiteral("Unable to create directory at %1").arg(LoginWindow::kSharedSupportFolder));
        return false;
    }
    return true;
}

bool Staging::setMode(const QString &mode, const QString &path) const
{
    const auto resolved = resolver().resolve(path);
    const auto file = resolved ? volumePathOf(m_volume, *resolved) : std::nullopt;
    const bool changed = file && runFileTool(Rights::Administrator, {QStringLiteral("chmod"), mode, *file});
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

// The login window's domain as our preference tool takes it: the volume's
// root, and the domain file as the volume's links lead, as a volume path
// without ".plist", which the tool looks up inside that root when it writes.
// Nothing when it leads off the volume or to a file the tool could not name.
std::optional<QStringList> domainArguments(const Volume &volume, const VolumeResolver &files, bool ownTool)
{
    static const QString extension = QStringLiteral(".plist");
    const auto resolved = files.writablePath(LoginWindow::kDomain + extension);
    const auto file = resolved ? volumePathOf(volume, *resolved) : std::nullopt;
    if (!file || !file->endsWith(extension))
        return std::nullopt;
    if (!ownTool)
        return QStringList{file->chopped(extension.size())};
    return QStringList{QStringLiteral("--root"), volume.root(), file->chopped(extension.size())};
}

} // namespace

bool Staging::writePreference(const QString &key, const QStringList &value) const
{
    const QString tool = preferenceToolPath();
    auto domain = domainArguments(m_volume, resolver(), tool != QLatin1String("/usr/bin/defaults"));
    if (!domain)
        return false;
    domain->insert(domain->size() - 1, QStringLiteral("write"));
    return m_runner->executeTool(tool, *domain + QStringList{key} + value);
}

bool Staging::deletePreference(const QString &key) const
{
    const QString tool = preferenceToolPath();
    auto domain = domainArguments(m_volume, resolver(), tool != QLatin1String("/usr/bin/defaults"));
    if (!domain)
        return false;
    domain->insert(domain->size() - 1, QStringLiteral("delete"));
    return m_runner->executeTool(tool, *domain + QStringList{key});
}
