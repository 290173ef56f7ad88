#pragma once

#include "platform/Volume.h"

#include <QLocale>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>

class Clock;

// The host-information line as the login window of a volume would show it,
// from what the volume itself knows. What only the running Mac knows (its
// address, serial number, directory status), and anything the volume
// lacks, is a placeholder that says so: the preview never makes a value up.
namespace HostLine {

inline const QString kNetworkPreferences =
    QStringLiteral("/Library/Preferences/SystemConfiguration/preferences.plist");

struct Resolved {
    QString text;
    bool fromVolume = false; // false: `text` is the placeholder
};

// `tag` as the "AdminHostInfo" table numbers it; any other shows as the
// host name, as Save writes it. Time comes from `clock` in `locale`.
[[nodiscard]] Resolved resolve(const Volume &volume, std::int32_t tag, const Clock *clock,
                               const QLocale &locale = QLocale());

// "<what>: filled in when the Mac starts".
[[nodiscard]] QString placeholder(std::int32_t tag);

// The computer name from the volume's network preferences, if it has one.
[[nodiscard]] std::optional<QString> computerName(const Volume &volume);

// A property-list dictionary at a volume path, read through the volume's
// own link resolution and the guarded parser; nothing for a missing,
// unreadable, oversized or malformed file.
[[nodiscard]] std::optional<QVariantMap> readVolumeDictionary(const Volume &volume, const QString &volumePath);

} // namespace HostLine
