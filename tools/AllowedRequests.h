#pragma once

#include "platform/VolumeResolver.h"

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/types.h>

// What the privileged tools agree to touch. They may be run as root by
// anyone (a sudo rule for every user is a fair way to install them), so each
// request is checked here against what a save really asks for, whoever the
// caller is: the root must be a Mac OS X volume other than this machine's
// own system, and each path one of the few places a save writes, compared
// as the volume's links lead.
namespace AllowedRequests {

// Why `root` is refused, or nothing when it is a Mac OS X volume: a folder
// other than "/" (also when reached through a link) that holds
// System/Library/CoreServices/SystemVersion.plist naming a release.
[[nodiscard]] std::optional<QByteArray> refusedRoot(const QString &root);

// The login window's logo and title images, the default pictures and any
// file of the shared folder: what `install` may write and `chmod` may change.
[[nodiscard]] bool isSaveTarget(const VolumeResolver &files, const QString &path);
// `backup` is the one-time backup name of one of the images or pictures,
// and `file` that image or picture.
[[nodiscard]] bool isBackupOf(const VolumeResolver &files, const QString &file, const QString &backup);
// The shared folder (made with its parents).
[[nodiscard]] bool isSharedFolder(const VolumeResolver &files, const QString &folder);
// Another format of the logo or title beside the TIFF the login window reads
// ("applelogo.png"), which a save moves off the volume.
[[nodiscard]] bool isOtherImageFormat(const VolumeResolver &files, const QString &path);
// The history folder of saved looks (made with its parents); one that is
// there must be a plain folder, not a link.
[[nodiscard]] bool isHistoryFolder(const VolumeResolver &files, const QString &folder);
// A record or picture of that history, by its name, directly in the plain
// history folder: what `install` may write and `remove` may remove.
[[nodiscard]] bool isHistoryEntry(const VolumeResolver &files, const QString &path);
// The login window's preference domain (a volume path without ".plist").
[[nodiscard]] bool isLoginWindowDomain(const VolumeResolver &files, const QString &domain);
// The permission bits a save sets.
[[nodiscard]] bool isSaveMode(mode_t mode);

} // namespace AllowedRequests
