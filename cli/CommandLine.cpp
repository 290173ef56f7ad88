#include "cli/CommandLine.h"

#include "controller/LumoraLogin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

// A login-window message is a few lines; anything near this is a mistake
// (the wrong file), not a message.
constexpr qint64 kMaxMessageFileBytes = 64 * 1024;

CtlParse usageError(const QString &error)
{
    return {std::nullopt, error};
}

bool takeValue(const QStringList &args, int &i, const QString &name, QString &value, QString &error)
{
    const QString &arg = args[i];
    const QString prefix = name + QLatin1Char('=');
    if (arg.startsWith(prefix)) {
        value = arg.mid(prefix.size());
        return true;
    }
    if (i + 1 >= args.size()) {
        error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    value = args[++i];
    return true;
}

// The options of `set`; each takes a value, as "--name value" or "--name=value".
constexpr const char *kSetOptions[] = {"--logo", "--title", "--background", "--message-file", "--message",
                                       "--host-info"};

// --help or -h asks for the usage wherever an option may stand, but not as
// the value of a `set` option: "set --message -h" sets the message "-h".
bool asksForHelp(const QStringList &arguments)
{
    const bool isSet = !arguments.isEmpty() && arguments.first() == QLatin1String("set");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            return true;
        if (!isSet || i == 0)
            continue;
        for (const char *option : kSetOptions) {
            if (arg == QLatin1String(option)) {
                ++i; // its value
                break;
            }
        }
    }
    return false;
}

bool isOption(const QString &arg, const char *name)
{
    const QLatin1String option(name);
    return arg == option || (arg.startsWith(option) && arg.size() > option.size()
                             && arg.at(option.size()) == QLatin1Char('='));
}

} // namespace

std::optional<std::int32_t> parseHostInfo(const QString &value)
{
    bool isNumber = false;
    const int tag = value.toInt(&isNumber);
    if (isNumber)
        return (tag >= 0 && tag <= 6) ? std::optional<std::int32_t>(tag) : std::nullopt;
    for (std::int32_t candidate = 0; candidate <= 6; ++candidate) {
        if (value.compare(LumoraLogin::hostInfoValueForTag(candidate), Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return std::nullopt;
}

CtlParse parseCommandLine(const QStringList &arguments)
{
    CtlRequest request;
    if (asksForHelp(arguments)) {
        request.command = CtlRequest::Command::Help;
        return {request, {}};
    }
    if (arguments.isEmpty())
        return usageError(QStringLiteral("no command given"));

    const QString &command = arguments.first();
    if (command == QLatin1String("--version")) {
        if (arguments.size() > 1)
            return usageError(QStringLiteral("--version takes no arguments"));
        request.command = CtlRequest::Command::Version;
        return {request, {}};
    }
    if (command == QLatin1String("help")) {
        request.command = CtlRequest::Command::Help;
        return {request, {}};
    }

    QStringList rest = arguments.mid(1);
    if (command == QLatin1String("show")) {
        request.command = CtlRequest::Command::Show;
        for (const QString &arg : rest) {
            if (arg != QLatin1String("--json"))
                return usageError(QStringLiteral("show: unknown argument '%1'").arg(arg));
            request.json = true;
        }
        return {request, {}};
    }
    if (command == QLatin1String("restore") || command == QLatin1String("check-updates")) {
        if (!rest.isEmpty())
            return usageError(QStringLiteral("%1 takes no arguments").arg(command));
        request.command = command == QLatin1String("restore") ? CtlRequest::Command::Restore
                                                              : CtlRequest::Command::CheckUpdates;
        return {request, {}};
    }
    if (command != QLatin1String("set"))
        return usageError(QStringLiteral("unknown command '%1'").arg(command));

    request.command = CtlRequest::Command::Set;
    QString error;
    // Each option once: a second one is more likely a slip than a wish.
    auto takeOnce = [&](int &i, const char *name, std::optional<QString> &slot) {
        if (slot) {
            error = QStringLiteral("%1 given twice").arg(QLatin1String(name));
            return false;
        }
        QString value;
        if (!takeValue(rest, i, QLatin1String(name), value, error))
            return false;
        slot = value;
        return true;
    };
    std::optional<QString> hostInfo;
    for (int i = 0; i < rest.size(); ++i) {
        const QString &arg = rest[i];
        bool ok = false;
        if (isOption(arg, "--logo"))
            ok = takeOnce(i, "--logo", request.logoFile);
        else if (isOption(arg, "--title"))
            ok = takeOnce(i, "--title", request.titleFile);
        else if (isOption(arg, "--background"))
            ok = takeOnce(i, "--background", request.backgroundFile);
        else if (isOption(arg, "--message-file"))
            ok = takeOnce(i, "--message-file", request.messageFile);
        else if (isOption(arg, "--message"))
            ok = takeOnce(i, "--message", request.messageText);
        else if (isOption(arg, "--host-info"))
            ok = takeOnce(i, "--host-info", hostInfo);
        else
            error = QStringLiteral("set: unknown argument '%1'").arg(arg);
        if (!ok)
            return usageError(error);
    }
    if (request.messageText && request.messageFile)
        return usageError(QStringLiteral("--message and --message-file exclude each other"));
    if (hostInfo) {
        request.hostInfoTag = parseHostInfo(*hostInfo);
        if (!request.hostInfoTag)
            return usageError(QStringLiteral("--host-info: '%1' is neither a name nor a tag from 0 to 6")
                                  .arg(*hostInfo));
    }
    if (!request.logoFile && !request.titleFile && !request.backgroundFile && !request.messageText
        && !request.messageFile && !request.hostInfoTag)
        return usageError(QStringLiteral("set: nothing to set"));
    return {request, {}};
}

namespace {

std::optional<Image> readImage(const QString &option, const QString &file, QString &error)
{
    const QFileInfo info(file);
    if (!info.exists()) {
        error = QStringLiteral("%1: %2 does not exist").arg(option, file);
        return std::nullopt;
    }
    if (!info.isFile()) {
        error = QStringLiteral("%1: %2 is not a file").arg(option, file);
        return std::nullopt;
    }
    Image image = Image::referencingFile(info.absoluteFilePath());
    if (!image.isValid()) {
        error = QStringLiteral("%1: %2 cannot be read as an image").arg(option, file);
        return std::nullopt;
    }
    return image;
}

std::optional<QString> readMessageFile(const QString &file, QString &error)
{
    QFile in(file);
    if (!QFileInfo(file).isFile() || !in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("--message-file: %1 cannot be read").arg(file);
        return std::nullopt;
    }
    const QByteArray bytes = in.read(kMaxMessageFileBytes + 1);
    if (bytes.size() > kMaxMessageFileBytes) {
        error = QStringLiteral("--message-file: %1 is larger than %2 bytes").arg(file).arg(kMaxMessageFileBytes);
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        error = QStringLiteral("--message-file: %1 is not UTF-8 text").arg(file);
        return std::nullopt;
    }
    return text;
}

} // namespace

SetInputsCheck readSetInputs(const CtlRequest &request)
{
    SetInputs inputs;
    QString error;
    if (request.logoFile && !(inputs.logo = readImage(QStringLiteral("--logo"), *request.logoFile, error)))
        return {std::nullopt, error};
    if (request.titleFile && !(inputs.title = readImage(QStringLiteral("--title"), *request.titleFile, error)))
        return {std::nullopt, error};
    if (request.backgroundFile
        && !(inputs.background = readImage(QStringLiteral("--background"), *request.backgroundFile, error)))
        return {std::nullopt, error};
    if (request.messageText)
        inputs.message = *request.messageText;
    if (request.messageFile && !(inputs.message = readMessageFile(*request.messageFile, error)))
        return {std::nullopt, error};
    // The preference tool takes the message as one argument, which ends at
    // a NUL; the login window would show only the part before it.
    if (inputs.message && inputs.message->contains(QChar(0)))
        return {std::nullopt, QStringLiteral("the message contains a NUL character")};
    inputs.hostInfoTag = request.hostInfoTag;
    return {inputs, {}};
}

QString usageText()
{
    return QStringLiteral(
        "Usage: lumora-loginctl COMMAND [OPTIONS]\n"
        "\n"
        "Shows and changes the login window's look on the volume named by\n"
        "LUMORA_SYSTEM_ROOT (default /).\n"
        "\n"
        "Commands:\n"
        "  show [--json]        the current logo, title, background, message and\n"
        "                       host information\n"
        "  set [OPTIONS]        change the settings given, then save\n"
        "      --logo FILE\n"
        "      --title FILE\n"
        "      --background FILE\n"
        "      --message TEXT | --message-file FILE   (an empty message removes it)\n"
        "      --host-info NAME|TAG   Time 0, HostName 1, IPAddress 2, DSStatus 3,\n"
        "                             SerialNumber 4, SystemBuild 5, SystemVersion 6\n"
        "  restore              put back the stock look, then save\n"
        "  check-updates        ask the update server for a newer release\n"
        "  --help, --version\n"
        "\n"
        "Exit status: 0 everything requested was saved and reads back as requested;\n"
        "1 something could not be saved (named on standard error) or the update\n"
        "check failed; 2 usage error or unreadable input file (nothing was written).\n");
}
