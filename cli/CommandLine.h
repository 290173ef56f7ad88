#pragma once

#include "controller/Setting.h"
#include "platform/Image.h"
#include "platform/PictureAdjustments.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

// What the user asked lumora-loginctl to do, as read from its arguments.
struct CtlRequest {
    enum class Command { Help, Version, Show, Set, Restore, CheckUpdates, Volumes, Preview, History };
    Command command = Command::Help;
    bool json = false;  // show, volumes, set, restore, history --json
    bool check = false; // set, restore --check: say what would change, write nothing
    std::optional<QString> root; // --root DIR: where the volume is mounted
    std::optional<QString> image; // --image FILE: a disk image holding the volume
    std::optional<int> partition; // --partition N: which volume of the image
    std::optional<QString> lookId; // restore --look ID: a look of the history instead of the stock one

    // set: each option that was given; the files are host paths as given.
    std::optional<QString> logoFile;
    std::optional<QString> titleFile;
    std::optional<QString> backgroundFile;
    // --fit, --darken, --blur: done to the --background picture before it
    // is shown or saved.
    PictureAdjustments backgroundAdjustments;
    std::optional<QString> messageText;
    std::optional<QString> messageFile;
    std::optional<std::int32_t> hostInfoTag;
    // The login options given, by setting.
    std::array<std::optional<std::int32_t>, kSettingCount> loginOptions;

    // preview: the set options above, and where the picture goes.
    std::optional<QString> outputFile;
    QSize screenSize{1024, 768};
};

// One argument as the system hands it over: UTF-8, with each byte that is
// not part of a valid sequence kept as the lone surrogate U+DC80 + byte, so
// that the text can still tell it came from bytes that are no text.
[[nodiscard]] QString argumentText(QByteArrayView bytes);

// The arguments after the program name, as argumentText() gives them. On a
// usage error, `error` says what is wrong and `request` is empty. Every
// value but the message has such bytes as U+FFFD; the message keeps them,
// for readSetInputs() to refuse.
struct CtlParse {
    std::optional<CtlRequest> request;
    QString error;
};
[[nodiscard]] CtlParse parseCommandLine(const QStringList &arguments);

// A host-information choice given by name (any case) or by tag 0 to 6.
[[nodiscard]] std::optional<std::int32_t> parseHostInfo(const QString &value);

// "WxH" (or "W×H") within the sizes a preview is drawn at.
[[nodiscard]] std::optional<QSize> parseScreenSize(const QString &value);

// A whole number from `least` to `most`.
[[nodiscard]] std::optional<int> parseBoundedNumber(const QString &value, int least, int most);

// The inputs of `set`, read and checked before anything is written.
struct SetInputs {
    // The value of each setting asked for.
    std::array<std::optional<SettingValue>, kSettingCount> values;
};
// A login-window message is a few lines; anything near this is a mistake
// (the wrong file), not a message.
inline constexpr qint64 kMaxMessageBytes = 64 * 1024;
struct SetInputsCheck {
    std::optional<SetInputs> inputs;
    QString error;
};
// Every FILE must exist and decode as an image; a message, given or in a
// file, must be UTF-8 text of at most kMaxMessageBytes. The images keep their decoded pixels, so what was checked is
// what gets saved even if the file changes meanwhile; the background is
// adjusted as asked.
[[nodiscard]] SetInputsCheck readSetInputs(const CtlRequest &request);

[[nodiscard]] QString usageText();
