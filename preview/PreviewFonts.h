#pragma once

#include <QFont>

// The fonts of the preview: DejaVu Sans, loaded from its files rather than
// found through the machine's font configuration, so that a preview looks
// the same wherever it is drawn. Needs a QGuiApplication.
namespace PreviewFonts {

inline constexpr const char *kFolder = "/usr/share/fonts/truetype/dejavu";

[[nodiscard]] QFont font(int pixelSize, bool bold = false);

// Whether both font files were loaded; otherwise the preview falls back to
// whatever the font configuration gives for the family.
[[nodiscard]] bool loaded();

} // namespace PreviewFonts
