#pragma once

#include "platform/Image.h"

#include <QByteArray>
#include <QIODevice>

#include <optional>

// Files of the volume are read with a limit that fits what they can be, and
// compared by streaming: a sparse file of any size costs neither memory nor
// time, and one over its limit is refused by name rather than read.
namespace BoundedFile {

// An image or picture of the volume: at most what the largest decode we
// allow could come from, with room for its headers.
constexpr qint64 kMaxImageBytes = qint64(Image::kAllocationLimitMiB + 16) * 1024 * 1024;

// The size of an open file, when it is within `limit`.
[[nodiscard]] bool fits(const QIODevice &file, qint64 limit);
// All of an open file, read only when it fits.
[[nodiscard]] std::optional<QByteArray> readAll(QIODevice &file, qint64 limit);
// The SHA-256 of an open file (hex), streamed.
[[nodiscard]] std::optional<QString> sha256(QIODevice &file, qint64 limit);
// Whether an open file holds exactly `bytes`.
[[nodiscard]] std::optional<bool> holds(QIODevice &file, const QByteArray &bytes, qint64 limit);
// Whether two open files hold the same bytes, streamed.
[[nodiscard]] std::optional<bool> sameBytes(QIODevice &a, QIODevice &b, qint64 limit);
// Copies an open file into `to`, streamed.
[[nodiscard]] bool copy(QIODevice &from, QIODevice &to, qint64 limit);

} // namespace BoundedFile
