#pragma once

#include "platform/Volume.h"

#include <QString>

#include <optional>

// The other way from Volume::hostPath(): the volume path of a host path on
// the volume, as it is written; nothing for a path elsewhere (our own
// staging files, a picture the user dropped from another disk).
[[nodiscard]] std::optional<QString> volumePathOf(const Volume &volume, const QString &hostPath);
