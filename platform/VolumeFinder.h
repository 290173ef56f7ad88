#pragma once

#include "platform/Volume.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What counts as a Mac OS X system volume, and where the mounted ones are.
// On Linux "/" is the host's own system, never the volume being edited; the
// volume is wherever it was mounted, and nothing is edited until a folder
// has passed this test.
namespace VolumeCheck {

enum class Verdict {
    Volume,        // System/Library/CoreServices/SystemVersion.plist names a release
    Missing,       // no such folder
    NotAFolder,    // a file, or something else that is not a folder
    NoVersionFile, // no readable SystemVersion.plist inside the folder
    NoRelease,     // the file is there but is no property list or names no ProductVersion
};

struct Result {
    Verdict verdict = Verdict::Missing;
    QString release; // "10.4.11" when verdict is Volume

    [[nodiscard]] bool isVolume() const { return verdict == Verdict::Volume; }
    // Made for 10.3 and 10.4; others open with a warning.
    [[nodiscard]] bool isSupportedRelease() const;
};

// The folder's SystemVersion.plist read through the in-volume resolver, so a
// link inside the folder cannot make it read a file outside it.
[[nodiscard]] Result check(const QString &folder);

// Why a folder was refused, as one sentence naming it; empty for a volume.
[[nodiscard]] QString refusal(const QString &folder, const Result &result);
// "Mac OS X 10.4.11".
[[nodiscard]] QString releaseText(const QString &release);
// The plain warning for a release other than 10.3 or 10.4; empty otherwise.
[[nodiscard]] QString releaseWarning(const Result &result);
// Why nothing can be saved to the folder, as one sentence naming the place:
// the volume, or a folder a save writes into, is on a read-only mount (or,
// for root, cannot be written at all). Empty when a save may write it.
[[nodiscard]] QString readOnlyReason(const QString &folder);

} // namespace VolumeCheck

// A volume that was found.
struct FoundVolume {
    enum class Access {
        Writable,           // the user can write it
        NeedsAdministrator, // writing needs administrator rights
        ReadOnly,           // mounted read-only: nobody can save to it
    };

    QString name;    // the folder's name ("Macintosh HD"), or "Sample volume"
    QString release; // "10.4.11"
    QString path;    // the host folder, absolute and free of links
    Access access = Access::NeedsAdministrator;
    bool sample = false; // the sample volume shipped with the application

    [[nodiscard]] QString accessText() const;
};

namespace VolumeFinder {

// Where to look.
struct Places {
    // Mount points, as mountedVolumes() lists them; a fake table in tests.
    QStringList mountPoints;
    // The folder under which media/*, run/media/*/* and mnt/* are looked
    // through (the host's "/"; a temporary folder in tests).
    QString hostRoot = QStringLiteral("/");
    // The shipped sample volume, when there is one.
    std::optional<QString> sampleVolume;
};

// The root of every mounted file system that can hold a volume (pseudo and
// automount file systems left out).
[[nodiscard]] QStringList mountedVolumes();

// The sample volume beside the executables: <dir>/../sample-volume in a build
// tree (what scripts/run.sh builds), <dir>/../share/lumora-login/sample-volume
// when installed. Nothing when neither is a volume.
[[nodiscard]] std::optional<QString> shippedSampleVolume(const QString &executableDir);

// The mounted places and the shipped sample volume.
[[nodiscard]] Places systemPlaces(const QString &executableDir);

// Every folder to try: each mount point; the folders media/*, run/media/*/*
// and mnt/* under the host root (where desktops and people mount disks), and
// one level below each of those (media/USER/LABEL, a volume copied into a
// mounted disk).
[[nodiscard]] QStringList candidates(const Places &places);

// The candidates that pass the test, each once (by real path), sorted by
// name; the sample volume last.
[[nodiscard]] QList<FoundVolume> find(const Places &places);

// One folder described as find() would; nothing when it is not a volume.
[[nodiscard]] std::optional<FoundVolume> describe(const QString &folder);

} // namespace VolumeFinder
