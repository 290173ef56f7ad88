#include "platform/PreferenceDomain.h"

#include "platform/PropertyList.h"

std::optional<QVariantMap> persistentDomainForName(const Volume &volume, const QString &domain)
{
    return PropertyList::readDictionaryFile(volume.hostPath(domain) + QStringLiteral(".plist"));
}

std::optional<QString> stringValue(const QVariantMap &domain, const QString &key)
{
    const auto it = domain.constFind(key);
    if (it == domain.cend() || it->typeId() != QMetaType::QString)
        return std::nullopt;
    return it->toString();
}
