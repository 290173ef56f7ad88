#pragma once

#include <QByteArray>
#include <QImage>

#include <vector>

namespace PreviewPng {

// A drawn screen as a PNG file's bytes (8-bit RGB, or RGBA when the image
// has an alpha channel), made for speed: each row is stored as its
// difference from the pixel to its left and the differences are Huffman
// coded, a code fitted to every few rows, in bands compressed side by
// side. A large screen compresses about as well as with the usual
// settings in a fraction of the time. Empty for a null image.
[[nodiscard]] QByteArray encode(const QImage &image);

// Code lengths of a complete prefix code for symbols seen this many times,
// none longer than maxLength (which must allow a code for every symbol);
// symbols never seen get no code (0). Frequent symbols get short codes.
[[nodiscard]] std::vector<quint8> limitedCodeLengths(const std::vector<quint32> &counts, int maxLength);

} // namespace PreviewPng
