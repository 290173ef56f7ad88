#include "platform/PreferenceDomain.h"

#include "platform/PropertyList.h"
#include "platform/VolumeResolver.h"

std::optional<QVariantMap> persistentDomainForName(const Volume &volume, const QString &domain)
{
    return readDictionaryOnVolume(volume, domain + QStringLiteral(".plist"));
}

std::optional<QVariantMap> readDictionaryOnVolume(const Volume &volume, const QString &volumePath)
{
    auto file = VolumeResolver(volume).openForReading(volumePath);
    if (!file)
        return std::nullopt;
    const PropertyList::Limits limits;
    // One byte past the limit, so that an oversized file is refused unread.
    const QByteArray bytes = (*file)->read(limits.maxBytes + 1);
    const auto value = PropertyList::parse(bytes, limits);
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value->toMap();
}

std::optional<QString> stringValue(const QVariantMap &domain, const QString &key)
{
    const auto it = domain.constFind(key);
    if (it == domain.cend() || it->typeId() != QMetaType::QString)
        return std::nullopt;
    return it->toString();
}
