#include "platform/PropertyList.h"
#include "platform/PropertyListValue.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>

namespace PropertyList {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr qint64 kAppleEpochOffset = 978307200;

// Far beyond any date a QDateTime is asked to hold, and small enough that
// the milliseconds below cannot overflow.
constexpr double kLargestDateSeconds = 1e13;

} // namespace

QVariant toVariant(const Value &value)
{
    switch (value.type) {
    case Value::Type::Boolean:
        return value.integer != 0;
    case Value::Type::Integer:
        if (value.integer < std::numeric_limits<qint64>::min()
            || value.integer > Int128(std::numeric_limits<quint64>::max()))
            return {};
        return qulonglong(value.integer);
    case Value::Type::Real:
        return value.real;
    case Value::Type::String:
        return value.text;
    case Value::Type::Data:
        return value.data;
    case Value::Type::Date: {
        if (!std::isfinite(value.real) || std::abs(value.real) > kLargestDateSeconds)
            return {};
        const auto msecs = qint64(std::trunc(value.real * 1000));
        return QDateTime::fromMSecsSinceEpoch(kAppleEpochOffset * 1000 + msecs, QTimeZone::utc());
    }
    case Value::Type::Array: {
        QVariantList list;
        list.reserve(qsizetype(value.items.size()));
        for (const Value &item : value.items)
            list.append(toVariant(item));
        return list;
    }
    case Value::Type::Dictionary: {
        // Keys mostly come sorted, as writers sort them: each then goes
        // at the end without a search.
        QVariantMap map;
        for (size_t i = 0; i < value.items.size(); ++i) {
            const QString &key = value.keys[i];
            if (map.isEmpty() || map.lastKey() < key)
                map.insert(map.cend(), key, toVariant(value.items[i]));
            else
                map.insert(key, toVariant(value.items[i]));
        }
        return map;
    }
    case Value::Type::Uid:
        return {};
    }
    return {};
}

Value fromVariant(const QVariant &value)
{
    Value v;
    switch (value.typeId()) {
    case QMetaType::Bool:
        v.type = Value::Type::Boolean;
        v.integer = value.toBool() ? 1 : 0;
        return v;
    case QMetaType::Int:
    case QMetaType::LongLong:
        v.type = Value::Type::Integer;
        v.integer = value.toLongLong();
        return v;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        v.type = Value::Type::Integer;
        v.integer = value.toULongLong();
        return v;
    case QMetaType::Double:
    case QMetaType::Float:
        v.type = Value::Type::Real;
        v.real = value.toDouble();
        return v;
    case QMetaType::QByteArray:
        v.type = Value::Type::Data;
        v.data = value.toByteArray();
        return v;
    case QMetaType::QDateTime:
        v.type = Value::Type::Date;
        v.real = double(value.toDateTime().toMSecsSinceEpoch() - kAppleEpochOffset * 1000) / 1000;
        return v;
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        v.type = Value::Type::Array;
        const QVariantList list = value.toList();
        v.items.reserve(size_t(list.size()));
        for (const QVariant &item : list)
            v.items.push_back(fromVariant(item));
        return v;
    }
    case QMetaType::QVariantMap: {
        v.type = Value::Type::Dictionary;
        const QVariantMap map = value.toMap();
        v.keys.reserve(size_t(map.size()));
        v.items.reserve(size_t(map.size()));
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            v.keys.push_back(it.key());
            v.items.push_back(fromVariant(it.value()));
        }
        return v;
    }
    default:
        return Value::string(value.toString());
    }
}

std::optional<QVariant> parse(const QByteArray &bytes, const Limits &limits)
{
    const std::optional<Value> value = readExact(bytes, limits);
    if (!value)
        return std::nullopt;
    return toVariant(*value);
}

std::optional<QVariantMap> readDictionaryFile(const QString &path, const Limits &limits)
{
    // Only plain files: a FIFO or a device in its place would block the
    // reader or never end.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read one byte past the limit so an oversized file is seen as such
    // without reading all of it, and no more than the file holds.
    const QByteArray bytes = file.read(std::min(file.size(), limits.maxBytes) + 1);
    const std::optional<Value> value = readExact(bytes, limits);
    if (!value || value->type != Value::Type::Dictionary)
        return std::nullopt;
    return toVariant(*value).toMap();
}

namespace {

// An XML date has whole seconds: the fraction of a QDateTime is cut off
// there, as it always was.
void cutToWholeSeconds(Value &value)
{
    if (value.type == Value::Type::Date)
        value.real = std::floor(value.real);
    for (Value &item : value.items)
        cutToWholeSeconds(item);
}

} // namespace

QByteArray serialize(const QVariant &value, Format format)
{
    Value list = fromVariant(value);
    if (format == Format::Xml)
        cutToWholeSeconds(list);
    return writeExact(list, format).value_or(QByteArray());
}

} // namespace PropertyList
