#pragma once

#include "platform/Volume.h"

#include <QString>

#include <optional>

// Finds out which system release the volume runs and whether a newer
// release of this application exists.
class VersionChecker {
public:
    // "ProductVersion" of the volume's system version file; nothing when
    // the file is missing, unreadable or names no release.
    [[nodiscard]] static std::optional<QString> getOsVersion(const Volume &volume);
};
