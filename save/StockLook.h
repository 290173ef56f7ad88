#pragma once

#include "platform/Bundle.h"
#include "platform/Volume.h"
#include "platform/VolumeResolver.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

#include <optional>

// The stock look that Restore Default Look fills the document with: host
// paths of the pictures, read when the document is saved. The stock look
// of a volume is its own: the backups beside its images, or the images
// themselves where it has none; our drawings only where it has no image.
struct StockLook {
    QString logo;
    QString title;
    std::optional<QString> background;
    QString message;
    std::int32_t hostInfoTag = 1;

    // The default picture of the volume's release. On 10.4 that is the
    // volume's own "Aqua Blue.jpg" (from its backup when there is one), and
    // our drawing only where the volume has none; on any other release the
    // system's default picture.
    [[nodiscard]] static std::optional<QString> originalBackgroundPath(const Volume &volume, const Bundle &bundle);
    [[nodiscard]] static StockLook of(const Volume &volume, const Bundle &bundle);

    // The host path of the one-time backup of the file at `volumePath`,
    // when it is there as a regular file (decoding or not): the volume's own
    // stock picture, which Save puts back byte for byte.
    [[nodiscard]] static std::optional<QString> backupOf(const VolumeResolver &files, const QString &volumePath);
    // The bytes of a file on the volume (nothing when it cannot be read, or
    // is larger than any image, which is logged).
    [[nodiscard]] static QByteArray bytesOf(const VolumeResolver &files, const QString &volumePath);
};
