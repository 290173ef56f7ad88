#pragma once

#include "platform/Image.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class Clock;
class Volume;
struct PreviewScene;

enum class Picture { Logo = 0, Title = 1, Background = 2 };

// One picture of a look: `asSaved` for a new picture, which the preview
// shows as Save will write it; otherwise it is shown as its file is.
struct PictureSource {
    Image image;
    bool asSaved = false;
};

// Everything a preview is drawn from.
struct LookSources {
    PictureSource logo;
    PictureSource title;
    PictureSource background;
    QString message;
    std::int32_t hostInfoTag = 1;
    // The login options the preview draws: name and password fields instead
    // of the list of users, and the Sleep, Restart and Shut Down buttons.
    bool nameAndPassword = false;
    bool powerButtons = true;
    bool inputMenu = false;
};

namespace SavedPictures {

// `pixels` encoded exactly as Save encodes the picture (TIFF for the logo
// and title, JPEG at quality 100 for the background), then decoded back:
// what the volume will hold. Null when it cannot be encoded.
[[nodiscard]] QImage asSaved(const Image &image, Picture which);
[[nodiscard]] QImage asSaved(const QImage &pixels, Picture which);

// The pixels to draw for a source. Decodes files, so it is safe to call on
// any thread only for sources no other thread is reading.
[[nodiscard]] QImage prepare(const PictureSource &source, Picture which);

// The accounts the list of users names: the home folders in the volume's
// /Users, sorted, at most a few. The Mac keeps its accounts elsewhere, so
// this is a likeness, not the list itself.
[[nodiscard]] QStringList userNames(const Volume &volume);

// A whole scene at once, for the companion and the tests (no background
// scaling: the renderer does that).
[[nodiscard]] PreviewScene prepareScene(const LookSources &sources, const Volume &volume, const Clock *clock);

} // namespace SavedPictures
