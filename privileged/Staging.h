#pragma once

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
    // Copies `source` over `destination` (host paths) with administrator
    // rights so that the destination is always either the old file or the
    // whole new one: through a hidden file beside it that takes the old
    // file's permissions and is then renamed over it. The destination must
    // lie on the volume; both ends on it are resolved within it first, and
    // one that leads off it fails with nothing run.
    [[nodiscard]] bool copyIntoPlace(const QString &source, const QString &destination) const;
    // Removes our own hidden files (the side files of copyIntoPlace and the
    // preference tool's temporary domain files) from the folders a save
    // writes. Called only while the volume's save lock is held, so the save
    // that made them no longer runs; a file some process still has open is
    // left to it. Returns how many it removed.
    int removeLeftovers() const;
    // True when the shared support folder exists afterwards.
    bool createApplicationSupportPath() const;
    // `path` is a volume path.
    bool setMode(const QString &mode, const QString &path) const;
    // The preference-writing tool: "/usr/bin/defaults" on a live system,
    // our own lumora-defaults otherwise.
    [[nodiscard]] QString preferenceToolPath() const;
    // One run of the preference tool with administrator rights on the login
    // window's domain: "write" KEY followed by the value's arguments (one
    // string, or a type such as "-bool" and its value), or "delete" KEY.
    // True when the tool ran and reported success.
    [[nodiscard]] bool writePreference(const QString &key, const QStringList &value) const;
    [[nodiscard]] bool deletePreference(const QString &key) const;

private:
    const Volume &m_volume;
    const Bundle &m_bundle;
    UserDefaults *m_defaults;
    Authorization *m_runner;
};
