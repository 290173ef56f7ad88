#include "platform/LoginWindow.h"

#include "platform/Log.h"
#include "platform/PreferenceDomain.h"

#include <array>

namespace {

struct HostInfoEntry {
    std::int32_t tag;
    const char *value;
};

// Compared in this order when reading; tag 1 ("HostName") is the default
// both ways.
constexpr std::array<HostInfoEntry, 6> kHostInfoReadOrder{{
    {0, "Time"},
    {6, "SystemVersion"},
    {5, "SystemBuild"},
    {4, "SerialNumber"},
    {2, "IPAddress"},
    {3, "DSStatus"},
}};

} // namespace

namespace LoginWindow {

std::int32_t hostInfoTagForValue(const std::optional<QString> &value)
{
    if (value) {
        for (const auto &entry : kHostInfoReadOrder) {
            if (*value == QLatin1String(entry.value))
                return entry.tag;
        }
    }
    return 1;
}

QString hostInfoValueForTag(std::int32_t tag)
{
    for (const auto &entry : kHostInfoReadOrder) {
        if (entry.tag == tag)
            return QString::fromLatin1(entry.value);
    }
    return QStringLiteral("HostName");
}

namespace {

// `missingIsFailure`: whether a volume without the domain is logged too.
DictionaryRead readDomain(const Volume &volume, bool missingIsFailure)
{
    DictionaryRead read = readDictionaryWithReason(volume, kDomain + QStringLiteral(".plist"));
    if (read.problem == DictionaryProblem::Missing) {
        if (missingIsFailure)
            Log::write(QStringLiteral("Unable to obtain loginwindow defaults"));
    } else if (read.problem != DictionaryProblem::None) {
        Log::write(QStringLiteral("Unable to obtain loginwindow defaults: %1").arg(problemLogText(read.problem)));
    }
    return read;
}

} // namespace

std::optional<QVariantMap> domain(const Volume &volume)
{
    return readDomain(volume, true).values;
}

DictionaryProblem domainProblem(const Volume &volume)
{
    return readDomain(volume, false).problem;
}

std::optional<QString> currentMessage(const Volume &volume)
{
    const auto values = domain(volume);
    if (!values)
        return std::nullopt;
    return stringValue(*values, kMessageKey);
}

std::optional<QString> systemRelease(const Volume &volume)
{
    const auto info = readDictionaryOnVolume(volume, kVersionFile);
    if (!info)
        return std::nullopt;
    return stringValue(*info, QStringLiteral("ProductVersion"));
}

bool isTiger(const Volume &volume)
{
    const auto release = systemRelease(volume);
    return release && release->startsWith(QLatin1String("10.4"));
}

} // namespace LoginWindow
