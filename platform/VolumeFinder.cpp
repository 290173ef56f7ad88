#include "platform/VolumeFinder.h"

#include "platform/LoginWindow.h"
#include "platform/PreferenceDomain.h"
#include "platform/PropertyList.h"
#include "platform/VolumeResolver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

#include <cerrno>

#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// A system version file is a few hundred bytes.
constexpr qint64 kMaxVersionFileBytes = 64 * 1024;

QString absoluteFolder(const QString &folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

// The folders directly inside `folder`, links to folders included (the
// check resolves what is inside them within the folder itself).
QStringList subfolders(const QString &folder)
{
    QStringList found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        found << dir.filePath(name);
    return found;
}

// "media/*/*" under `root` (no trailing separator): each "*" one level of
// folders.
QStringList expand(const QString &root, const QStringList &pattern)
{
    QStringList level{root};
    for (const QString &part : pattern) {
        QStringList next;
        for (const QString &folder : std::as_const(level)) {
            if (part == QLatin1String("*"))
                next << subfolders(folder);
            else if (QFileInfo(folder + QLatin1Char('/') + part).isDir())
                next << folder + QLatin1Char('/') + part;
        }
        level = next;
    }
    return level;
}

FoundVolume::Access accessOf(const QString &folder)
{
    if (!VolumeCheck::readOnlyReason(folder).isEmpty())
        return FoundVolume::Access::ReadOnly;
    // A save writes the preference domain and the images in CoreServices.
    const VolumeResolver resolver{Volume(folder)};
    const QString coreServices = QFileInfo(LoginWindow::kVersionFile).path();
    for (const QString &place : {QStringLiteral("/"), coreServices}) {
        const auto hostPath = resolver.resolve(place);
        if (!hostPath || ::access(QFile::encodeName(*hostPath).constData(), W_OK) != 0)
            return FoundVolume::Access::NeedsAdministrator;
    }
    return FoundVolume::Access::Writable;
}

} // namespace

namespace VolumeCheck {

bool Result::isSupportedRelease() const
{
    return isVolume()
           && (release == QLatin1String("10.3") || release == QLatin1String("10.4")
               || release.startsWith(QLatin1String("10.3.")) || release.startsWith(QLatin1String("10.4.")));
}

Result check(const QString &folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.exists())
        return {Verdict::Missing, {}};
    if (!info.isDir())
        return {Verdict::NotAFolder, {}};

    const VolumeResolver resolver{Volume(absoluteFolder(folder))};
    auto file = resolver.openForReading(LoginWindow::kVersionFile);
    if (!file)
        return {Verdict::NoVersionFile, {}};
    const QByteArray bytes = (*file)->read(kMaxVersionFileBytes + 1);
    if (bytes.size() > kMaxVersionFileBytes)
        return {Verdict::NoRelease, {}};
    const auto parsed = PropertyList::parse(bytes);
    if (!parsed || parsed->typeId() != QMetaType::QVariantMap)
        return {Verdict::NoRelease, {}};
    const auto release = stringValue(parsed->toMap(), QStringLiteral("ProductVersion"));
    if (!release || release->trimmed().isEmpty())
        return {Verdict::NoRelease, {}};
    return {Verdict::Volume, release->trimmed()};
}

QString refusal(const QString &folder, const Result &result)
{
    switch (result.verdict) {
    case Verdict::Volume:
        return {};
    case Verdict::Missing:
        return QCoreApplication::translate("Lumora", "%1 does not exist.").arg(folder);
    case Verdict::NotAFolder:
        return QCoreApplication::translate("Lumora", "%1 is not a folder.").arg(folder);
    case Verdict::NoVersionFile:
        return QCoreApplication::translate("Lumora",
                                           "%1 is not a Mac OS X system volume: it has no "
                                           "System/Library/CoreServices/SystemVersion.plist.")
            .arg(folder);
    case Verdict::NoRelease:
        return QCoreApplication::translate("Lumora",
                                           "%1 is not a Mac OS X system volume: its "
                                           "System/Library/CoreServices/SystemVersion.plist names no system release.")
            .arg(folder);
    }
    return {};
}

QString releaseText(const QString &release)
{
    return QCoreApplication::translate("Lumora", "Mac OS X %1").arg(release);
}

QString releaseWarning(const Result &result)
{
    if (!result.isVolume() || result.isSupportedRelease())
        return {};
    return QCoreApplication::translate("Lumora",
                                       "This volume has Mac OS X %1. Lumora Login was made for Mac OS X 10.3 and 10.4; "
                                       "the login window of other releases may not show what you save.")
        .arg(result.release);
}

QString readOnlyReason(const QString &folder)
{
    // The volume, and the folders a save writes into: any of them may be a
    // mount of its own.
    const QString root = absoluteFolder(folder);
    const VolumeResolver resolver{Volume(root)};
    const bool administrator = ::geteuid() == 0;
    for (const QString &place : {QStringLiteral("/"), QFileInfo(LoginWindow::kVersionFile).path(),
                                 QFileInfo(LoginWindow::kDomain).path()}) {
        const auto hostPath = resolver.resolve(place);
        if (!hostPath)
            continue;
        const QByteArray path = QFile::encodeName(*hostPath);
        struct statvfs info {};
        if (::statvfs(path.constData(), &info) == 0 && (info.f_flag & ST_RDONLY))
            return QCoreApplication::translate("Lumora", "%1 is mounted read-only: nothing can be saved to it.")
                .arg(*hostPath);
        // Root is refused only where nobody may write (a file system of
        // another user over FUSE, a server that maps root to nobody).
        if (administrator && ::access(path.constData(), W_OK) != 0 && errno != ENOENT)
            return QCoreApplication::translate("Lumora", "%1 cannot be written, not even by an administrator.")
                .arg(*hostPath);
    }
    return {};
}

} // namespace VolumeCheck

QString FoundVolume::accessText() const
{
    switch (access) {
    case Access::Writable:
        return QCoreApplication::translate("Lumora", "You can write it");
    case Access::NeedsAdministrator:
        return QCoreApplication::translate("Lumora", "Needs administrator rights");
    case Access::ReadOnly:
        return QCoreApplication::translate("Lumora", "Mounted read-only");
    }
    return {};
}

namespace VolumeFinder {

QStringList mountedVolumes()
{
    QStringList roots;
    for (const QStorageInfo &storage : QStorageInfo::mountedVolumes()) {
        // Looking into an automount point mounts it (or waits for a server).
        if (!storage.isValid() || storage.fileSystemType() == "autofs")
            continue;
        roots << storage.rootPath();
    }
    return roots;
}

std::optional<QString> shippedSampleVolume(const QString &executableDir)
{
    for (const QString &relative : {QStringLiteral("/../sample-volume"),
                                    QStringLiteral("/../share/lumora-login/sample-volume")}) {
        const QString folder = QDir::cleanPath(executableDir + relative);
        if (VolumeCheck::check(folder).isVolume())
            return folder;
    }
    return std::nullopt;
}

Places systemPlaces(const QString &executableDir)
{
    return Places{mountedVolumes(), QStringLiteral("/"), shippedSampleVolume(executableDir)};
}

QStringList candidates(const Places &places)
{
    QStringList found = places.mountPoints;
    // "" for the host's "/", so that the places read "/media/...".
    QString root = places.hostRoot;
    while (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    const QList<QStringList> patterns{
        {QStringLiteral("media"), QStringLiteral("*")},
        {QStringLiteral("run"), QStringLiteral("media"), QStringLiteral("*"), QStringLiteral("*")},
        {QStringLiteral("mnt"), QStringLiteral("*")},
    };
    for (const QStringList &pattern : patterns) {
        for (const QString &folder : expand(root, pattern))
            found << folder << subfolders(folder);
    }
    return found;
}

std::optional<FoundVolume> describe(const QString &folder)
{
    const VolumeCheck::Result result = VolumeCheck::check(folder);
    if (!result.isVolume())
        return std::nullopt;
    FoundVolume volume;
    volume.path = QFileInfo(folder).canonicalFilePath();
    if (volume.path.isEmpty())
        return std::nullopt;
    volume.name = volume.path == QLatin1String("/") ? QStringLiteral("/") : QFileInfo(volume.path).fileName();
    volume.release = result.release;
    volume.access = accessOf(volume.path);
    return volume;
}

QList<FoundVolume> find(const Places &places)
{
    QList<FoundVolume> volumes;
    QSet<QString> seen;
    for (const QString &folder : candidates(places)) {
        auto volume = describe(folder);
        if (!volume || seen.contains(volume->path))
            continue;
        seen.insert(volume->path);
        volumes << *volume;
    }
    std::sort(volumes.begin(), volumes.end(), [](const FoundVolume &a, const FoundVolume &b) {
        const int byName = a.name.compare(b.name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.path < b.path;
    });
    if (places.sampleVolume) {
        if (auto sample = describe(*places.sampleVolume)) {
            // Found among the mounts too: listed once, as the sample.
            volumes.removeIf([&](const FoundVolume &volume) { return volume.path == sample->path; });
            sample->name = QCoreApplication::translate("Lumora", "Sample volume");
            sample->sample = true;
            volumes << *sample;
        }
    }
    return volumes;
}

} // namespace VolumeFinder
