#pragma once

#include "platform/Image.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>

// The settings of the login window that the document edits, in the order
// Save takes them: the look, then the login options.
enum class Setting : std::uint8_t {
    Logo,
    Title,
    Background,
    Message,
    HostInfo,
    NameAndPassword,
    PowerButtons,
    InputMenu,
    PasswordHints,
};
inline constexpr std::size_t kSettingCount = std::size_t(Setting::PasswordHints) + 1;

[[nodiscard]] constexpr std::size_t indexOf(Setting setting)
{
    return std::size_t(setting);
}

// A login option as the document holds it: nothing while the volume leaves
// it to the login window (as the stock window does), else a yes/no (0 or 1,
// in the sense of the option's name) or a count.
using OptionValue = std::optional<std::int32_t>;

// One setting's value: a picture, the message (nothing: none), the
// host-information tag, or a login option.
using SettingValue = std::variant<Image, std::optional<QString>, std::int32_t, OptionValue>;

// Pictures are the same when they share their data; everything else by value.
[[nodiscard]] bool sameValue(const SettingValue &a, const SettingValue &b);
