#pragma once

#include "platform/AuthorizationService.h"
#include "platform/Bundle.h"
#include "platform/Volume.h"
#include "platform/VolumeResolver.h"

#include <QString>
#include <QStringList>

#include <optional>

class Authorization;
class UserDefaults;

// Groundwork of the save operations: staging files in the user's own
// support folder, one-time backups of stock system files, the shared
// support folder on the volume, file modes, and the side-file install
// through which every system file is replaced. It keeps no state of its
// own: everything it needs is handed in and must outlive it.
class Staging {
public:
    Staging(const Volume &volume, const Bundle &bundle, UserDefaults *defaults, Authorization *runner)
        : m_volume(volume), m_bundle(bundle), m_defaults(defaults), m_runner(runner)
    {
    }

    [[nodiscard]] const Volume &volume() const { return m_volume; }
    [[nodiscard]] Authorization &runner() const { return *m_runner; }
    // Volume paths to host paths as the volume's own links lead, never off it.
    [[nodiscard]] VolumeResolver resolver() const { return VolumeResolver(m_volume); }

    // The per-user support folder (host path, ends without a separator).
    [[nodiscard]] static QString applicationSupportPath();
    [[nodiscard]] static QString tempFilePathWithName(const std::optional<QString> &name);
    [[nodiscard]] static QString backupPathForPath(const QString &path);
    // True when the backup is in place: made now, already there, or there
    // was nothing to back up. `path` is a volume path.
    [[nodiscard]] bool backupFile(const QString &path, bool withAuthorization, const QString &defaultsKey) const;
    // Where a backup-made key is stored for the volume being edited: the key
    // itself for "/", a key of that volume's own for any other root.
    [[nodiscard]] QString backupMadeKey(const QString &defaultsKey) const;
    // Who runs a file operation: administrator rights through the runner, or
    // the user's own (for files the user may write).
    enum class Rights { Administrator, User };
    // Copies `source`, one of our own files off the volume, over
    // `destination`, a host path on the volume, so that the destination is
    // always either the old file or the whole new one: the file tool writes a
    // hidden file beside it with the old file's mode, syncs it and renames it
    // over. The source is opened here; the destination is resolved inside the
    // volume by the tool when it writes, and one that leads off it fails.
    [[nodiscard]] bool copyIntoPlace(const QString &source, const QString &destination,
                                     Rights rights = Rights::Administrator) const;
    // A copy of one file of the volume beside another (host paths on the
    // volume) that never replaces what is already there: a backup.
    [[nodiscard]] bool copyWithinVolume(const QString &source, const QString &backup, Rights rights) const;
    // Moves a file of the volume (`volumePath`) to `destination` in our own
    // folders: copied out with administrator rights, then removed.
    [[nodiscard]] bool moveOut(const QString &volumePath, const QString &destination) const;
    // Removes our own hidden files (the side files of copyIntoPlace and the
    // preference tool's temporary domain files) from the folders a save
    // writes. Called only while the volume's save lock is held, so the save
    // that made them no longer runs; a file some process still has open is
    // left to it. Returns how many it removed.
    [[nodiscard]] int removeLeftovers() const;
    // Removes the picture a save installed in the shared support folder,
    // with administrator rights; true when it is gone (or was never there).
    [[nodiscard]] bool removeInstalledBackground() const;
    // True when the shared support folder exists afterwards.
    [[nodiscard]] bool createApplicationSupportPath() const;
    // The history of saved looks (LookFiles): its folder made with
    // administrator rights, and one of its entries (a volume path) removed.
    // True when the folder is there, or the entry gone.
    bool createHistoryFolder() const;
    bool removeHistoryEntry(const QString &volumePath) const;
    // Copies `source`, one of our own files, to the history entry at
    // `volumePath` as copyIntoPlace() does, the name taken as it is: a link
    // standing there is refused by the tool, never followed.
    [[nodiscard]] bool installHistoryEntry(const QString &source, const QString &volumePath) const;
    // `path` is a volume path.
    [[nodiscard]] bool setMode(const QString &mode, const QString &path) const;
    // The preference-writing tool: "/usr/bin/defaults" on a live system,
    // our own lumora-defaults otherwise.
    [[nodiscard]] QString preferenceToolPath() const;
    // One run of the preference tool with administrator rights on the login
    // window's domain: "write" KEY followed by the value's arguments (one
    // string, or a type such as "-bool" and its value), or "delete" KEY.
    // True when the tool ran and reported success.
    [[nodiscard]] bool writePreference(const QString &key, const QStringList &value) const;
    [[nodiscard]] bool deletePreference(const QString &key) const;
    // The project's file tool, which does every privileged file operation.
    [[nodiscard]] QString fileToolPath() const;

private:
    // The volume path of a host path on the volume, its final link followed
    // within the volume; nothing for a path that leads off it.
    [[nodiscard]] std::optional<QString> placeOnVolume(const QString &hostPath) const;
    // Hands the tool our own file `sourcePath`, opened here, to install at
    // `volumePath`, a path the tool checks and never follows a link at.
    [[nodiscard]] bool installFromFile(const QString &sourcePath, const QString &volumePath, Rights rights) const;
    // One operation of the file tool on this volume, as `rights` says; a
    // quiet run logs nothing and prints nothing when it fails.
    [[nodiscard]] bool runFileTool(Rights rights, const QStringList &operation,
                                   const AuthorizationService::Streams &streams = {}, bool quiet = false) const;

    const Volume &m_volume;
    const Bundle &m_bundle;
    UserDefaults *m_defaults;
    Authorization *m_runner;
};
