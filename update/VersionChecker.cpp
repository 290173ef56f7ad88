#include "update/VersionChecker.h"

#include "app/LumoraLogin.h"
#include "platform/PreferenceDomain.h"
#include "platform/PropertyList.h"

std::optional<QString> VersionChecker::getOsVersion(const Volume &volume)
{
    const auto info = PropertyList::readDictionaryFile(volume.hostPath(LoginWindow::kVersionFile));
    if (!info)
        return std::nullopt;
    return stringValue(*info, QStringLiteral("ProductVersion"));
}
