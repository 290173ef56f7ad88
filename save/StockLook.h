#pragma once

#include "platform/Bundle.h"
#include "platform/Volume.h"

#include <QString>

#include <cstdint>

#include <optional>

// The stock look that Restore Default Look fills the document with: host
// paths of the pictures, read when the document is saved.
struct StockLook {
    QString logo;
    QString title;
    std::optional<QString> background;
    QString message;
    std::int32_t hostInfoTag = 1;

    // The default picture of the volume's release: our own drawing on 10.4
    // (where the release's picture is rewritten), the system's otherwise.
    [[nodiscard]] static std::optional<QString> originalBackgroundPath(const Volume &volume, const Bundle &bundle);
    [[nodiscard]] static StockLook of(const Volume &volume, const Bundle &bundle);
};
