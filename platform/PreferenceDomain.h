#pragma once

#include "platform/Volume.h"

#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>

// A persistent preference domain named by path, as the login window keeps
// it: "<domain>.plist" on the volume, XML or binary. Read afresh each call.
[[nodiscard]] std::optional<QVariantMap> persistentDomainForName(const Volume &volume,
                                                                 const QString &domain);

// A property-list file on the volume whose top level is a dictionary, read
// through the volume's own links; nothing for a file that is missing,
// unreadable, oversized, corrupt, not a dictionary or leads off the volume.
[[nodiscard]] std::optional<QVariantMap> readDictionaryOnVolume(const Volume &volume, const QString &volumePath);

// The string under `key`, or nothing when the key is missing or holds
// another type.
[[nodiscard]] std::optional<QString> stringValue(const QVariantMap &domain, const QString &key);

// A yes/no value under `key` as the Mac's own tools leave it: a boolean, an
// integer 0 or 1, or a string "YES"/"NO"/"true"/"false"/"1"/"0" (any case);
// nothing when the key is missing or holds anything else.
[[nodiscard]] std::optional<bool> booleanValue(const QVariantMap &domain, const QString &key);
// A non-negative count under `key`: an integer, or a string of digits (what
// a write without a type leaves); nothing otherwise.
[[nodiscard]] std::optional<std::int32_t> countValue(const QVariantMap &domain, const QString &key);
