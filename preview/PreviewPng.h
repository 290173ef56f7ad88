#pragma once

#include <QByteArray>
#include <QImage>

namespace PreviewPng {

// A drawn screen as a PNG file's bytes (8-bit RGB, or RGBA when the image
// has an alpha channel), made for speed: each row is stored as its
// difference from the pixel to its left and the differences are Huffman
// coded, in bands compressed side by side. A large screen compresses as
// well as with the usual settings in a fraction of the time. Empty for a
// null image.
[[nodiscard]] QByteArray encode(const QImage &image);

} // namespace PreviewPng
