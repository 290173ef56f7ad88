#include "cli/CommandLine.h"

#include "controller/SettingModel.h"
#include "platform/LoginWindow.h"
#include "preview/LoginScreenRenderer.h"
#include "save/StagingFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace {

CtlParse usageError(const QString &error)
{
    return {std::nullopt, error};
}

// The options that take a value, and the commands that accept them.
struct ValueOption {
    const char *name;
    const char *valueName;
    std::optional<QString> CtlRequest::*slot;
};
constexpr ValueOption kSetOptions[] = {
    {"logo", "FILE", &CtlRequest::logoFile},
    {"title", "FILE", &CtlRequest::titleFile},
    {"background", "FILE", &CtlRequest::backgroundFile},
    {"message", "TEXT", &CtlRequest::messageText},
    {"message-file", "FILE", &CtlRequest::messageFile},
    {"host-info", "NAME|TAG", nullptr},
};
// What is done to the --background picture (set and preview).
constexpr const char *kAdjustmentOptions[] = {"fit", "darken", "blur"};
constexpr const char *kAdjustmentValueNames[] = {"WxH", "PERCENT", "RADIUS"};
constexpr ValueOption kPreviewOptions[] = {
    {"output", "FILE", &CtlRequest::outputFile},
    {"size", "WxH", nullptr},
};

constexpr char16_t kEscapedByte = 0xDC00;

// The length of the valid UTF-8 sequence at the start of `bytes`, or 0.
qsizetype sequenceLength(QByteArrayView bytes)
{
    const auto byte = [&bytes](qsizetype i) { return uchar(bytes[i]); };
    const uchar lead = byte(0);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    // The second byte's range excludes overlong forms, surrogates and
    // code points past U+10FFFF.
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

// The bytes argumentText() was given.
QByteArray rawBytes(const QString &text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            bytes += text.sliced(i, 2).toUtf8();
            ++i;
        } else if (c.isLowSurrogate()) {
            bytes += char(c.unicode() - kEscapedByte);
        } else {
            bytes += QString(c).toUtf8();
        }
    }
    return bytes;
}

// What the arguments were before the message kept its bytes: each decoded
// with U+FFFD for what is not UTF-8.
QStringList withReplacementCharacters(const QStringList &arguments)
{
    QStringList plain;
    for (const QString &argument : arguments)
        plain << (argument.isValidUtf16() ? argument : QString::fromUtf8(rawBytes(argument)));
    return plain;
}

} // namespace

QString argumentText(QByteArrayView bytes)
{
    QString text;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const QByteArrayView rest = bytes.sliced(at);
        const qsizetype length = sequenceLength(rest);
        if (length == 0) {
            text += QChar(char16_t(kEscapedByte + uchar(rest[0])));
            ++at;
        } else {
            text += QString::fromUtf8(rest.first(length));
            at += length;
        }
    }
    return text;
}

std::optional<std::int32_t> parseHostInfo(const QString &value)
{
    bool isNumber = false;
    const int tag = value.toInt(&isNumber);
    if (isNumber)
        return (tag >= 0 && tag <= 6) ? std::optional<std::int32_t>(tag) : std::nullopt;
    for (std::int32_t candidate = 0; candidate <= 6; ++candidate) {
        if (value.compare(LoginWindow::hostInfoValueForTag(candidate), Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return std::nullopt;
}

std::optional<QSize> parseScreenSize(const QString &value)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,5})[x\u00d7]([0-9]{1,5})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(value.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QSize size(match.captured(1).toInt(), match.captured(2).toInt());
    const QSize least = LoginScreenRenderer::kMinimumScreen;
    const QSize most = LoginScreenRenderer::kMaximumScreen;
    if (size.width() < least.width() || size.height() < least.height() || size.width() > most.width()
        || size.height() > most.height())
        return std::nullopt;
    return size;
}

std::optional<int> parseBoundedNumber(const QString &value, int least, int most)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
    if (!digits.match(value.trimmed()).hasMatch())
        return std::nullopt;
    const int number = value.trimmed().toInt();
    if (number < least || number > most)
        return std::nullopt;
    return number;
}

CtlParse parseCommandLine(const QStringList &arguments)
{
    // The parser takes the word after an option that needs a value as that
    // value, whatever it looks like: "set --message -h" sets the message "-h".
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption root(QStringLiteral("root"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption image(QStringLiteral("image"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption partition(QStringLiteral("partition"), QString(), QStringLiteral("N"));
    const QCommandLineOption look(QStringLiteral("look"), QString(), QStringLiteral("ID"));
    QList<QCommandLineOption> options{help, version, json, check, root, image, partition, look};
    for (const ValueOption &option : kSetOptions)
        options << QCommandLineOption(QLatin1String(option.name), QString(), QLatin1String(option.valueName));
    for (const ValueOption &option : kPreviewOptions)
        options << QCommandLineOption(QLatin1String(option.name), QString(), QLatin1String(option.valueName));
    for (std::size_t i = 0; i < std::size(kAdjustmentOptions); ++i)
        options << QCommandLineOption(QLatin1String(kAdjustmentOptions[i]), QString(),
                                      QLatin1String(kAdjustmentValueNames[i]));
    for (const LoginOptionModel *option : loginOptionModels())
        options << QCommandLineOption(option->option(), QString(), option->valueName());
    const auto parse = [&options](QCommandLineParser &parser, const QStringList &words) {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions(options);
        return parser.parse(QStringList{QStringLiteral("lumora-loginctl")} + words);
    };
    const QStringList plainArguments = withReplacementCharacters(arguments);
    QCommandLineParser parser;

    if (!parse(parser, plainArguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return usageError(QCoreApplication::translate("LoginCtl", "unknown argument '%1%2'")
                                  .arg(unknown.first().size() > 1 ? QStringLiteral("--") : QStringLiteral("-"),
                                       unknown.first()));
        return usageError(parser.errorText());
    }

    CtlRequest request;
    if (parser.isSet(help)) {
        request.command = CtlRequest::Command::Help;
        return {request, {}};
    }
    // Each option once: a second one is more likely a slip than a wish.
    for (const QString &name : parser.optionNames()) {
        if (parser.optionNames().count(name) > 1)
            return usageError(QCoreApplication::translate("LoginCtl", "--%1 given twice").arg(name));
    }
    if (parser.isSet(root))
        request.root = parser.value(root);
    if (parser.isSet(image)) {
        if (parser.isSet(root))
            return usageError(QCoreApplication::translate("LoginCtl", "--root and --image exclude each other"));
        request.image = parser.value(image);
        if (request.image->isEmpty())
            return usageError(QCoreApplication::translate("LoginCtl", "--image needs a file"));
    }
    if (parser.isSet(partition)) {
        bool ok = false;
        request.partition = parser.value(partition).toInt(&ok);
        if (!ok || *request.partition < 0 || !request.image)
            return usageError(QCoreApplication::translate("LoginCtl", "--partition takes a number, with --image"));
    }

    const QStringList words = parser.positionalArguments();
    if (parser.isSet(version)) {
        if (!words.isEmpty() || parser.optionNames().size() > 1)
            return usageError(QCoreApplication::translate("LoginCtl", "--version takes no arguments"));
        request.command = CtlRequest::Command::Version;
        return {request, {}};
    }
    if (words.isEmpty())
        return usageError(QCoreApplication::translate("LoginCtl", "no command given"));
    const QString &command = words.first();
    if (command == QLatin1String("help")) {
        request.command = CtlRequest::Command::Help;
        return {request, {}};
    }

    static const QHash<QString, CtlRequest::Command> kCommands{
        {QStringLiteral("show"), CtlRequest::Command::Show},
        {QStringLiteral("set"), CtlRequest::Command::Set},
        {QStringLiteral("restore"), CtlRequest::Command::Restore},
        {QStringLiteral("check-updates"), CtlRequest::Command::CheckUpdates},
        {QStringLiteral("volumes"), CtlRequest::Command::Volumes},
        {QStringLiteral("preview"), CtlRequest::Command::Preview},
        {QStringLiteral("history"), CtlRequest::Command::History},
    };
    const auto found = kCommands.find(command);
    if (found == kCommands.end())
        return usageError(QCoreApplication::translate("LoginCtl", "unknown command '%1'").arg(command));
    request.command = *found;
    if (words.size() > 1)
        return usageError(QCoreApplication::translate("LoginCtl", "%1: unknown argument '%2'").arg(command, words[1]));

    // Which options each command takes; --root and --image go with any of
    // them but volumes.
    QStringList accepted{QStringLiteral("root")};
    if (request.command != CtlRequest::Command::Volumes && request.command != CtlRequest::Command::CheckUpdates)
        accepted << QStringLiteral("image") << QStringLiteral("partition");
    if (request.command == CtlRequest::Command::Show || request.command == CtlRequest::Command::Volumes
        || request.command == CtlRequest::Command::History)
        accepted << QStringLiteral("json");
    if (request.command == CtlRequest::Command::Restore)
        accepted << QStringLiteral("look");
    const bool setsLook =
        request.command == CtlRequest::Command::Set || request.command == CtlRequest::Command::Preview;
    if (setsLook) {
        for (const ValueOption &option : kSetOptions)
            accepted << QLatin1String(option.name);
        for (const char *option : kAdjustmentOptions)
            accepted << QLatin1String(option);
        for (const LoginOptionModel *option : loginOptionModels())
            accepted << option->option();
    }
    if (request.command == CtlRequest::Command::Set || request.command == CtlRequest::Command::Restore)
        accepted << QStringLiteral("json") << QStringLiteral("check");
    if (request.command == CtlRequest::Command::Preview) {
        for (const ValueOption &option : kPreviewOptions)
            accepted << QLatin1String(option.name);
    }
    for (const QString &name : parser.optionNames()) {
        if (!accepted.contains(name))
            return usageError(QCoreApplication::translate("LoginCtl", "%1: unknown argument '--%2'").arg(command, name));
    }
    request.json = parser.isSet(json);
    request.check = parser.isSet(check);
    if (parser.isSet(look)) {
        request.lookId = parser.value(look);
        if (request.lookId->isEmpty())
            return usageError(QCoreApplication::translate("LoginCtl", "--look needs the ID of a saved look (see history)"));
    }
    if (!setsLook)
        return {request, {}};

    for (const ValueOption &option : kSetOptions) {
        if (option.slot && parser.isSet(QLatin1String(option.name)))
            request.*option.slot = parser.value(QLatin1String(option.name));
    }
    if (request.messageText && plainArguments != arguments) {
        // The same words with the bytes that are no text kept, so that the
        // message is refused as a message file with them would be.
        QCommandLineParser raw;
        if (parse(raw, arguments))
            request.messageText = raw.value(QStringLiteral("message"));
    }
    if (request.messageText && request.messageFile)
        return usageError(QCoreApplication::translate("LoginCtl", "--message and --message-file exclude each other"));
    PictureAdjustments &adjust = request.backgroundAdjustments;
    if (parser.isSet(QStringLiteral("fit"))) {
        const QString size = parser.value(QStringLiteral("fit"));
        if (!(adjust.fit = parseScreenSize(size)))
            return usageError(QCoreApplication::translate("LoginCtl", "--fit: '%1' is not WIDTHxHEIGHT from %2x%3 to %4x%5")
                                  .arg(size)
                                  .arg(LoginScreenRenderer::kMinimumScreen.width())
                                  .arg(LoginScreenRenderer::kMinimumScreen.height())
                                  .arg(LoginScreenRenderer::kMaximumScreen.width())
                                  .arg(LoginScreenRenderer::kMaximumScreen.height()));
    }
    const std::pair<const char *, std::pair<int *, int>> amounts[] = {
        {"darken", {&adjust.darkenPercent, PictureAdjustments::kMaxDarken}},
        {"blur", {&adjust.blurRadius, PictureAdjustments::kMaxBlur}},
    };
    for (const auto &[name, slot] : amounts) {
        if (!parser.isSet(QLatin1String(name)))
            continue;
        const QString word = parser.value(QLatin1String(name));
        const auto number = parseBoundedNumber(word, 0, slot.second);
        if (!number)
            return usageError(QCoreApplication::translate("LoginCtl", "--%1: '%2' is not a whole number from 0 to %3")
                                  .arg(QLatin1String(name), word)
                                  .arg(slot.second));
        *slot.first = *number;
    }
    if (!adjust.isNone() && !request.backgroundFile)
        return usageError(QCoreApplication::translate("LoginCtl", "--fit, --darken and --blur go with --background FILE"));
    if (parser.isSet(QStringLiteral("host-info"))) {
        const QString hostInfo = parser.value(QStringLiteral("host-info"));
        request.hostInfoTag = parseHostInfo(hostInfo);
        if (!request.hostInfoTag)
            return usageError(QCoreApplication::translate("LoginCtl", "--host-info: '%1' is neither a name nor a tag from 0 to 6")
                                  .arg(hostInfo));
    }
    for (const LoginOptionModel *option : loginOptionModels()) {
        if (!parser.isSet(option->option()))
            continue;
        const QString word = parser.value(option->option());
        auto &value = request.loginOptions[indexOf(option->setting())];
        if (!(value = option->parse(word)))
            return usageError(QCoreApplication::translate("LoginCtl", "--%1: '%2' is not %3").arg(option->option(), word, option->valueWords()));
    }
    if (request.command == CtlRequest::Command::Preview) {
        // Without set options it draws the look the volume has now.
        if (parser.isSet(QStringLiteral("output")))
            request.outputFile = parser.value(QStringLiteral("output"));
        if (!request.outputFile || request.outputFile->isEmpty())
            return usageError(QCoreApplication::translate("LoginCtl", "preview: --output FILE is required"));
        if (parser.isSet(QStringLiteral("size"))) {
            const QString size = parser.value(QStringLiteral("size"));
            const auto parsedSize = parseScreenSize(size);
            if (!parsedSize)
                return usageError(QCoreApplication::translate("LoginCtl", "--size: '%1' is not WIDTHxHEIGHT from %2x%3 to %4x%5")
                                      .arg(size)
                                      .arg(LoginScreenRenderer::kMinimumScreen.width())
                                      .arg(LoginScreenRenderer::kMinimumScreen.height())
                                      .arg(LoginScreenRenderer::kMaximumScreen.width())
                                      .arg(LoginScreenRenderer::kMaximumScreen.height()));
            request.screenSize = *parsedSize;
        }
        return {request, {}};
    }
    const bool anyLoginOption = std::any_of(request.loginOptions.begin(), request.loginOptions.end(),
                                            [](const auto &value) { return value.has_value(); });
    if (!request.logoFile && !request.titleFile && !request.backgroundFile && !request.messageText
        && !request.messageFile && !request.hostInfoTag && !anyLoginOption)
        return usageError(QCoreApplication::translate("LoginCtl", "set: nothing to set"));
    return {request, {}};
}

namespace {

std::optional<Image> readImage(const QString &option, const QString &file, bool savedAsIs, QString &error)
{
    const QFileInfo info(file);
    if (!info.exists()) {
        error = QCoreApplication::translate("LoginCtl", "%1: %2 does not exist").arg(option, file);
        return std::nullopt;
    }
    if (!info.isFile()) {
        error = QCoreApplication::translate("LoginCtl", "%1: %2 is not a file").arg(option, file);
        return std::nullopt;
    }
    Image image = Image::referencingFile(info.absoluteFilePath());
    // A background saved as it is is checked by the encode its save needs
    // anyway: a JPEG file is then read once, and its pixels never held.
    if (savedAsIs)
        (void)StagingFile::jpegData(image);
    if (!image.isValid()) {
        error = QCoreApplication::translate("LoginCtl", "%1: %2 cannot be read as an image").arg(option, file);
        return std::nullopt;
    }
    return image;
}

std::optional<QString> readMessageFile(const QString &file, QString &error)
{
    QFile in(file);
    if (!QFileInfo(file).isFile() || !in.open(QIODevice::ReadOnly)) {
        error = QCoreApplication::translate("LoginCtl", "--message-file: %1 cannot be read").arg(file);
        return std::nullopt;
    }
    const QByteArray bytes = in.read(kMaxMessageBytes + 1);
    if (bytes.size() > kMaxMessageBytes) {
        error = QCoreApplication::translate("LoginCtl", "--message-file: %1 is larger than %2 bytes").arg(file).arg(kMaxMessageBytes);
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        error = QCoreApplication::translate("LoginCtl", "--message-file: %1 is not UTF-8 text").arg(file);
        return std::nullopt;
    }
    return text;
}

} // namespace

SetInputsCheck readSetInputs(const CtlRequest &request)
{
    SetInputs inputs;
    QString error;
    const std::pair<Setting, std::pair<const char *, const std::optional<QString> *>> images[] = {
        {Setting::Logo, {"--logo", &request.logoFile}},
        {Setting::Title, {"--title", &request.titleFile}},
        {Setting::Background, {"--background", &request.backgroundFile}},
    };
    for (const auto &[setting, option] : images) {
        if (!*option.second)
            continue;
        // A preview shows the background as its save would write it, so it
        // makes the same encode.
        const bool savedAsIs = (request.command == CtlRequest::Command::Set
                                || request.command == CtlRequest::Command::Preview)
                               && setting == Setting::Background && request.backgroundAdjustments.isNone();
        const auto image = readImage(QLatin1String(option.first), **option.second, savedAsIs, error);
        if (!image)
            return {std::nullopt, error};
        // What is checked, previewed and saved is the adjusted picture.
        if (setting == Setting::Background && !request.backgroundAdjustments.isNone())
            inputs.values[indexOf(setting)] =
                Image::fromPixels(PictureAdjustments::apply(image->pixels(), request.backgroundAdjustments));
        else
            inputs.values[indexOf(setting)] = *image;
    }
    std::optional<QString> message = request.messageText;
    if (message && !message->isValidUtf16())
        return {std::nullopt, QCoreApplication::translate("LoginCtl", "--message: the text is not UTF-8")};
    if (message && message->toUtf8().size() > kMaxMessageBytes)
        return {std::nullopt,
                QCoreApplication::translate("LoginCtl", "--message: the text is larger than %1 bytes").arg(kMaxMessageBytes)};
    if (request.messageFile && !(message = readMessageFile(*request.messageFile, error)))
        return {std::nullopt, error};
    // The preference tool takes the message as one argument, which ends at
    // a NUL; the login window would show only the part before it.
    if (message && message->contains(QChar(0)))
        return {std::nullopt, QCoreApplication::translate("LoginCtl", "the message contains a NUL character")};
    if (message)
        inputs.values[indexOf(Setting::Message)] = message;
    if (request.hostInfoTag)
        inputs.values[indexOf(Setting::HostInfo)] = *request.hostInfoTag;
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        if (request.loginOptions[i])
            inputs.values[i] = OptionValue(request.loginOptions[i]);
    }
    return {inputs, {}};
}

QString usageText()
{
    QString loginOptions;
    for (const LoginOptionModel *option : loginOptionModels())
        loginOptions += QStringLiteral("      --%1 %2\n").arg(option->option(), option->valueName());
    return QCoreApplication::translate(
        "LoginCtl",
        "Usage: lumora-loginctl COMMAND [OPTIONS]\n"
        "\n"
        "Shows and changes the login window's look on the volume named by\n"
        "--root DIR or LUMORA_SYSTEM_ROOT (default /).\n"
        "\n"
        "Commands:\n"
        "  show [--json]        the current logo, title, background, message, host\n"
        "                       information and login options\n"
        "  set [OPTIONS]        change the settings given, then save; a setting the\n"
        "                       volume already holds is left alone (\"unchanged\")\n"
        "      --logo FILE\n"
        "      --title FILE\n"
        "      --background FILE [--fit WxH] [--darken PERCENT] [--blur RADIUS]\n"
        "                       the picture scaled down to cover a screen of WxH\n"
        "                       (never enlarged), darkened by 0 to 80 percent, blurred\n"
        "                       by a radius in pixels of that size\n"
        "      --message TEXT | --message-file FILE   (an empty message removes it)\n"
        "      --host-info NAME|TAG   Time 0, HostName 1, IPAddress 2, DSStatus 3,\n"
        "                             SerialNumber 4, SystemBuild 5, SystemVersion 6\n"
        "%1"
        "  preview --output FILE.png [--size WxH] [set OPTIONS]\n"
        "                       draw the login screen the set OPTIONS would give\n"
        "                       (default size 1024x768) into a PNG; nothing on the\n"
        "                       volume changes. Hints about pictures drawn smaller\n"
        "                       or enlarged and a cut message go to standard error\n"
        "  restore [--look ID]  put back the stock look, or a look of the history,\n"
        "                       then save\n"
        "  history [--json]     the looks that saves replaced, newest first, each\n"
        "                       with the ID that restore --look takes\n"
        "      --check          (set, restore) only say what would change; write nothing\n"
        "      --json           (set, restore) one JSON object: changed, settings, diff\n"
        "  check-updates        ask the update server for a newer release\n"
        "  volumes [--json]     the Mac OS X volumes mounted on this machine\n"
        "  --root DIR           the folder where the volume is mounted (before or\n"
        "                       after the command; wins over LUMORA_SYSTEM_ROOT)\n"
        "  --image FILE         a disk image holding the volume (raw, APM, GPT or MBR,\n"
        "                       qcow2, .dmg), opened as its owner through libguestfs\n"
        "      --partition N    which of its volumes, when it holds several\n"
        "  --help, --version\n"
        "\n"
        "Exit status: 0 everything requested holds: it was saved and reads back as\n"
        "requested, or the volume already held it (--check: the comparison was made);\n"
        "1 something could not be saved (named on standard error) or the update\n"
        "check failed; 2 usage error, unreadable input file, or a folder that is not\n"
        "a Mac OS X system volume (nothing was written).\n")
        .arg(loginOptions);
}
