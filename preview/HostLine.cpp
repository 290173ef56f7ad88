#include "preview/HostLine.h"

#include "platform/Clock.h"
#include "platform/LoginWindow.h"
#include "platform/PropertyList.h"
#include "platform/VolumeResolver.h"

#include <QCoreApplication>

namespace {

enum Tag : std::int32_t { Time = 0, HostName = 1, IPAddress = 2, DSStatus = 3, SerialNumber = 4,
                          SystemBuild = 5, SystemVersion = 6 };

std::int32_t known(std::int32_t tag)
{
    return (tag >= Time && tag <= SystemVersion) ? tag : HostName;
}

std::optional<QString> nonEmptyString(const QVariantMap &map, const QString &key)
{
    const QVariant value = map.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString().trimmed();
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

} // namespace

namespace HostLine {

std::optional<QVariantMap> readVolumeDictionary(const Volume &volume, const QString &volumePath)
{
    const PropertyList::Limits limits;
    auto file = VolumeResolver(volume).openForReading(volumePath);
    if (!file)
        return std::nullopt;
    const QByteArray bytes = (*file)->read(limits.maxBytes + 1);
    if (bytes.size() > limits.maxBytes)
        return std::nullopt;
    const auto value = PropertyList::parse(bytes, limits);
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value->toMap();
}

std::optional<QString> computerName(const Volume &volume)
{
    const auto preferences = readVolumeDictionary(volume, kNetworkPreferences);
    if (!preferences)
        return std::nullopt;
    // System > System > ComputerName.
    const QVariant system = preferences->value(QStringLiteral("System"));
    if (system.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariant inner = system.toMap().value(QStringLiteral("System"));
    if (inner.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return nonEmptyString(inner.toMap(), QStringLiteral("ComputerName"));
}

QString placeholder(std::int32_t tag)
{
    const char *what = nullptr;
    switch (known(tag)) {
    case Time: what = QT_TRANSLATE_NOOP("Lumora", "Time"); break;
    case HostName: what = QT_TRANSLATE_NOOP("Lumora", "Computer name"); break;
    case IPAddress: what = QT_TRANSLATE_NOOP("Lumora", "IP address"); break;
    case DSStatus: what = QT_TRANSLATE_NOOP("Lumora", "Directory status"); break;
    case SerialNumber: what = QT_TRANSLATE_NOOP("Lumora", "Serial number"); break;
    case SystemBuild: what = QT_TRANSLATE_NOOP("Lumora", "System build"); break;
    default: what = QT_TRANSLATE_NOOP("Lumora", "System version"); break;
    }
    return QCoreApplication::translate("Lumora", "%1: filled in when the Mac starts")
        .arg(QCoreApplication::translate("Lumora", what));
}

Resolved resolve(const Volume &volume, std::int32_t tag, const Clock *clock, const QLocale &locale)
{
    tag = known(tag);
    const Resolved missing{placeholder(tag), false};
    switch (tag) {
    case Time:
        if (!clock)
            return missing;
        return {locale.toString(clock->now().time(), QLocale::ShortFormat), true};
    case HostName: {
        const auto name = computerName(volume);
        return name ? Resolved{*name, true} : missing;
    }
    case SystemVersion:
    case SystemBuild: {
        const auto info = readVolumeDictionary(volume, LoginWindow::kVersionFile);
        const auto version = info ? nonEmptyString(*info, QStringLiteral("ProductVersion")) : std::nullopt;
        if (!version)
            return missing;
        const QString text = QStringLiteral("Mac OS X ") + *version;
        if (tag == SystemVersion)
            return {text, true};
        const auto build = nonEmptyString(*info, QStringLiteral("ProductBuildVersion"));
        return build ? Resolved{text + QStringLiteral(" (") + *build + QLatin1Char(')'), true} : missing;
    }
    default: // known only to the running Mac
        return missing;
    }
}

} // namespace HostLine
