#pragma once

// Links planted on a throwaway volume that try to steer reads and writes
// off it, and a decoy tree outside the volume that must never change.

#include "platform/LoginWindow.h"
#include "tests/fakes/FileBytes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace HostileVolume {

// How a link names its target: as an absolute path (on the Mac, a path on
// the same volume), or climbing out with "../" from the link's folder.
enum class Aim { Absolute, Climbing };

// A target path written the way `aim` says, from the folder of a link
// at `linkHostPath`.
inline QString linkTarget(const QString &targetHostPath, Aim aim)
{
    if (aim == Aim::Absolute)
        return targetHostPath;
    return QStringLiteral("../").repeated(40) + targetHostPath.mid(1);
}

// Replaces what is at `volumePath` with a link to `target`.
inline bool plantLink(const QString &root, const QString &volumePath, const QString &target)
{
    const QString host = root + volumePath;
    QDir().mkpath(QFileInfo(host).path());
    if (QFileInfo(host).isDir() && !QFileInfo(host).isSymLink())
        QDir(host).removeRecursively();
    else
        QFile::remove(host);
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(host).constData()) == 0;
}

// Every entry under `root`, link or not, with its mode and the digest of a
// regular file's bytes.
inline QMap<QString, QByteArray> checksums(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        QByteArray entry = QByteArray::number(info.st_mode, 8);
        if (S_ISREG(info.st_mode))
            entry += ' ' + QCryptographicHash::hash(readBytes(path), QCryptographicHash::Sha256).toHex();
        tree.insert(path.mid(root.size()), entry);
    }
    return tree;
}

// Host files that the hostile links point at: a picture, a folder with a
// logo in it, a preference domain. Each is something a write must not
// reach and a read must not show.
class Decoy {
public:
    Decoy()
    {
        QDir().mkpath(support());
        QDir().mkpath(resources());
        QImage picture(48, 32, QImage::Format_RGB32);
        picture.fill(Qt::magenta);
        m_ok = picture.save(picture_(), "JPEG") && picture.save(resources() + QStringLiteral("/applelogo.tif"), "TIFF")
               && picture.save(resources() + QStringLiteral("/MacOSX.tif"), "TIFF")
               && writeBytes(domain(), "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>LoginwindowText"
                                       "</key><string>from the host</string></dict></plist>");
    }
    [[nodiscard]] bool isValid() const { return m_ok && m_dir.isValid(); }
    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString picture_() const { return m_dir.path() + QStringLiteral("/host-picture.jpg"); }
    [[nodiscard]] QString support() const { return m_dir.path() + QStringLiteral("/host-support"); }
    [[nodiscard]] QString resources() const { return m_dir.path() + QStringLiteral("/host-resources"); }
    [[nodiscard]] QString domain() const { return m_dir.path() + QStringLiteral("/host-domain.plist"); }
    [[nodiscard]] QMap<QString, QByteArray> checksums() const { return HostileVolume::checksums(path()); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

inline const QString kResourcesFolder =
    QStringLiteral("/System/Library/CoreServices/SecurityAgent.app/Contents/Resources");
inline const QString kSupportFolder = QStringLiteral("/Library/Application Support");

// The hostile layouts, by name: each plants its links on the volume at
// `root`, aimed at the decoy.
inline bool plant(const QString &layout, const QString &root, const Decoy &decoy, Aim aim)
{
    if (layout == QLatin1String("picture link"))
        return plantLink(root, LoginWindow::kTigerDefaultBackground, linkTarget(decoy.picture_(), aim));
    if (layout == QLatin1String("support folder link"))
        return plantLink(root, kSupportFolder, linkTarget(decoy.support(), aim));
    if (layout == QLatin1String("resources folder link"))
        return plantLink(root, kResourcesFolder, linkTarget(decoy.resources(), aim));
    if (layout == QLatin1String("domain link"))
        return plantLink(root, LoginWindow::kDomain + QStringLiteral(".plist"), linkTarget(decoy.domain(), aim));
    if (layout == QLatin1String("link loop"))
        return plantLink(root, LoginWindow::kTigerDefaultBackground, QStringLiteral("Aqua Blue.jpg"))
               && plantLink(root, kSupportFolder, QStringLiteral("/Library/Application Support/"));
    return false;
}

} // namespace HostileVolume
