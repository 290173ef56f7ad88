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

// Why a property-list file on the volume gave no dictionary.
enum class DictionaryProblem {
    None,
    Missing,    // no such file; a link to nothing on the volume counts as none too
    NotAFile,   // a FIFO, a device node, a folder, ...
    LinkLoop,   // a link loop, or more links than the Mac follows
    OffVolume,  // a link to a file that is not on the volume
    TooLarge,   // more bytes or values than a property list may have here
    TooDeep,    // nested deeper than a property list may be here
    NotAList,   // not a property list, or one whose top level is no dictionary
    Unreadable, // anything else: no permission, a file where a folder should be, ...
};
struct DictionaryRead {
    std::optional<QVariantMap> values; // with DictionaryProblem::None only
    DictionaryProblem problem = DictionaryProblem::None;
};
// readDictionaryOnVolume() with the reason when there is no dictionary.
[[nodiscard]] DictionaryRead readDictionaryWithReason(const Volume &volume, const QString &volumePath);
// The reason in fixed English, for the log ("not a regular file").
[[nodiscard]] QString problemLogText(DictionaryProblem problem);
// The reason for people, in their language ("it is not a regular file").
[[nodiscard]] QString problemText(DictionaryProblem problem);

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
