#pragma once

#include "platform/Image.h"
#include "platform/Volume.h"

#include <QString>

#include <cstdint>
#include <optional>

// Whether saving one setting would change what the volume holds, and what
// it would change from and to: the text of the message and of the host
// information, the SHA-256 (hex) of an image file's bytes. nullopt stands
// for "none" (no message, no file, no preference).
struct SettingComparison {
    bool holds = false;
    std::optional<QString> before;
    std::optional<QString> after;
};

// Each test mirrors what the matching save operation writes, so "holds"
// means that saving the setting would leave the volume as it is.
namespace SaveComparison {

// The logo and title go to their first place as TIFF. They hold when that
// file has the bytes Save would write, or decodes to the same pixels.
[[nodiscard]] SettingComparison logo(const Volume &volume, const Image &logo);
[[nodiscard]] SettingComparison title(const Volume &volume, const Image &title);

// A new picture holds when the preference names the installed picture and
// its bytes are the JPEG Save would write (a JPEG never decodes to the
// pixels it was made from, so pixels are not compared).
[[nodiscard]] SettingComparison background(const Volume &volume, const Image &background);
// Putting the release's default picture back holds when no picture is named
// in the preference, and on 10.4 (`tiger`) when the default picture has the
// bytes Save would write from `stock`.
[[nodiscard]] SettingComparison revertedBackground(const Volume &volume, const Image &stock, bool tiger);

// An empty text holds when the volume has no message; any other when the
// stored message is exactly the text.
[[nodiscard]] SettingComparison message(const Volume &volume, const QString &text);
// Holds when the stored value is the tag's canonical name.
[[nodiscard]] SettingComparison hostInfo(const Volume &volume, std::int32_t tag);
// A login option holds when the stored value means `value` (read leniently:
// a boolean may be stored as 0/1 or "YES"/"NO", a count as its digits), or
// for nothing when the key is missing. Before and after are the stored
// values as the preference tool prints them ("1", "0", "3").
[[nodiscard]] SettingComparison booleanPreference(const Volume &volume, const QString &key, std::optional<bool> value);
[[nodiscard]] SettingComparison countPreference(const Volume &volume, const QString &key,
                                                std::optional<std::int32_t> value);

// While one lives on this thread, the digests that only report (before and
// after of the pictures) are left out where finding whether a setting holds
// does not need them: a caller that never shows them does not pay for
// hashing whole pictures.
class WithoutDigests {
public:
    WithoutDigests();
    ~WithoutDigests();
    WithoutDigests(const WithoutDigests &) = delete;
    WithoutDigests &operator=(const WithoutDigests &) = delete;

private:
    bool m_wanted;
};

// The hex SHA-256 of bytes, and of a file on the volume (nullopt when it
// is missing or cannot be read).
[[nodiscard]] QString sha256(const QByteArray &bytes);
[[nodiscard]] std::optional<QString> fileSha256(const Volume &volume, const QString &volumePath);

} // namespace SaveComparison
