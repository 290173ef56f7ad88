#include "tools/AllowedRequests.h"

#include "platform/LoginWindow.h"
#include "platform/LookFiles.h"

#include <QFile>

#include <cstdlib>

namespace AllowedRequests {

namespace {

// The images and pictures a save replaces, each with a one-time backup.
const QStringList &savedImages()
{
    static const QStringList images{LoginWindow::kLogoFirstPlace,  LoginWindow::kLogoSecondPlace,
                                    LoginWindow::kTitleFirstPlace, LoginWindow::kTitleSecondPlace,
                                    LoginWindow::kDefaultBackground, LoginWindow::kTigerDefaultBackground};
    return images;
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString nameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString withoutExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

// The same backup name a save gives: "_Original" before the extension.
QString backupName(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        return path + QStringLiteral("_Original");
    return path.left(dot) + QStringLiteral("_Original") + path.mid(dot);
}

// The entry the tool would touch for `given` (its last name not followed) is
// the allowed entry itself, or the file a link standing there leads to
// within the volume: the application hands over paths as the links lead.
bool samePlace(const VolumeResolver &files, const QString &given, const QString &allowed)
{
    const auto entry = files.writablePath(given, VolumeResolver::FinalLink::Keep);
    if (!entry)
        return false;
    for (auto finalLink : {VolumeResolver::FinalLink::Keep, VolumeResolver::FinalLink::Follow}) {
        const auto place = files.writablePath(allowed, finalLink);
        if (place && *place == *entry)
            return true;
    }
    return false;
}

bool sameFolder(const VolumeResolver &files, const QString &given, const QString &allowed)
{
    const auto a = files.resolve(given);
    if (!a)
        return false;
    const auto b = files.resolve(allowed);
    return b && *a == *b;
}

} // namespace

std::optional<QByteArray> refusedRoot(const QString &root)
{
    // The folder itself, every link followed: "/" reached by any name is
    // this machine's own system.
    char *real = ::realpath(QFile::encodeName(root).constData(), nullptr);
    if (!real)
        return QByteArray("the root is not a folder that can be reached");
    const QString canonical = QFile::decodeName(real);
    std::free(real);
    if (canonical == QLatin1String("/"))
        return QByteArray("the root is this machine's own system, which is never edited");
    if (!LoginWindow::systemRelease(Volume(canonical)))
        return QByteArray("the root is not a Mac OS X volume (no ") + QFile::encodeName(LoginWindow::kVersionFile)
               + " naming a release)";
    return std::nullopt;
}

bool isSaveTarget(const VolumeResolver &files, const QString &path)
{
    for (const QString &image : savedImages()) {
        if (samePlace(files, path, image))
            return true;
    }
    const QString name = nameOf(path);
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && sameFolder(files, folderOf(path), LoginWindow::kSharedSupportFolder);
}

bool isBackupOf(const VolumeResolver &files, const QString &file, const QString &backup)
{
    for (const QString &image : savedImages()) {
        if (samePlace(files, file, image) && samePlace(files, backup, backupName(image)))
            return true;
    }
    return false;
}

bool isSharedFolder(const VolumeResolver &files, const QString &folder)
{
    const auto a = files.pathToCreate(folder);
    const auto b = files.pathToCreate(LoginWindow::kSharedSupportFolder);
    return a && b && *a == *b;
}

namespace {

// The history folder is never reached through a link of its own name: what
// stands there is a folder, or nothing yet.
bool historyFolderIsPlain(const VolumeResolver &files)
{
    const auto place = files.locate(LookFiles::kFolder);
    if (!place)
        return place.error() == VolumeResolver::Error::Missing; // its parents not made yet
    return !place->exists || S_ISDIR(place->info.st_mode);
}

} // namespace

bool isHistoryFolder(const VolumeResolver &files, const QString &folder)
{
    const auto a = files.pathToCreate(folder);
    const auto b = files.pathToCreate(LookFiles::kFolder);
    return a && b && *a == *b && historyFolderIsPlain(files);
}

bool isHistoryEntry(const VolumeResolver &files, const QString &path)
{
    return LookFiles::isEntryName(nameOf(path)) && historyFolderIsPlain(files)
           && sameFolder(files, folderOf(path), LookFiles::kFolder);
}

bool isOtherImageFormat(const VolumeResolver &files, const QString &path)
{
    const QString name = nameOf(path);
    for (const QString &image : {LoginWindow::kLogoFirstPlace, LoginWindow::kLogoSecondPlace,
                                 LoginWindow::kTitleFirstPlace, LoginWindow::kTitleSecondPlace}) {
        if (name != nameOf(image) && withoutExtension(name) == withoutExtension(nameOf(image))
            && sameFolder(files, folderOf(path), folderOf(image)))
            return true;
    }
    return false;
}

bool isLoginWindowDomain(const VolumeResolver &files, const QString &domain)
{
    static const QString extension = QStringLiteral(".plist");
    return samePlace(files, domain + extension, LoginWindow::kDomain + extension);
}

bool isSaveMode(mode_t mode)
{
    return mode == 0644 || mode == 0664;
}

} // namespace AllowedRequests
