#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

// What the administrator asked to be done to a background picture before it
// is shown and saved: fitted to a screen, darkened, blurred. The same
// adjusted pixels go to the preview and to the volume.
struct PictureAdjustments {
    // Scaled down to cover this size (never enlarged), the aspect kept.
    std::optional<QSize> fit;
    int darkenPercent = 0; // 0 to kMaxDarken
    int blurRadius = 0;    // pixels of the fitted picture, 0 to kMaxBlur

    static constexpr int kMaxDarken = 80;
    static constexpr int kMaxBlur = 100;

    [[nodiscard]] bool isNone() const { return !fit && darkenPercent == 0 && blurRadius == 0; }
    [[nodiscard]] bool operator==(const PictureAdjustments &) const = default;

    // The size a picture of `size` has after fitting.
    [[nodiscard]] static QSize fittedSize(const QSize &size, const QSize &screen);
    // The picture adjusted: fitted first, so that the blur radius counts in
    // pixels of the fitted size, then darkened, then blurred. Returns the
    // picture itself when nothing is asked.
    [[nodiscard]] static QImage apply(const QImage &picture, const PictureAdjustments &adjustments);
    // Whether a picture of `size` is far larger than a screen of `screen`
    // (more than twice as wide and twice as high): worth fitting.
    [[nodiscard]] static bool worthFitting(const QSize &size, const QSize &screen);
};
