#include "platform/PreferenceDomain.h"

#include "platform/PropertyList.h"
#include "platform/VolumeResolver.h"

#include <limits>

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

std::optional<bool> booleanValue(const QVariantMap &domain, const QString &key)
{
    const auto it = domain.constFind(key);
    if (it == domain.cend())
        return std::nullopt;
    switch (it->typeId()) {
    case QMetaType::Bool:
        return it->toBool();
    case QMetaType::ULongLong:
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
        if (it->toULongLong() <= 1)
            return it->toULongLong() == 1;
        return std::nullopt;
    case QMetaType::QString: {
        const QString text = it->toString().trimmed();
        for (const char *yes : {"YES", "true", "1"}) {
            if (text.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
                return true;
        }
        for (const char *no : {"NO", "false", "0"}) {
            if (text.compare(QLatin1String(no), Qt::CaseInsensitive) == 0)
                return false;
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::int32_t> countValue(const QVariantMap &domain, const QString &key)
{
    const auto it = domain.constFind(key);
    if (it == domain.cend())
        return std::nullopt;
    bool isNumber = false;
    qulonglong count = 0;
    switch (it->typeId()) {
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        count = it->toULongLong(&isNumber);
        break;
    case QMetaType::LongLong:
    case QMetaType::Int:
        isNumber = it->toLongLong() >= 0;
        count = qulonglong(it->toLongLong());
        break;
    case QMetaType::QString:
        count = it->toString().trimmed().toULongLong(&isNumber);
        break;
    default:
        break;
    }
    // The property list reader gives a negative integer as its unsigned
    // two's complement; that is no count either.
    if (!isNumber || count > qulonglong(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return std::int32_t(count);
}
