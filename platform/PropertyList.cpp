#include "platform/PropertyList.h"
#include "platform/PropertyListLimits.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>

namespace PropertyList {

void NodeDeleter::operator()(void *node) const
{
    if (node)
        plist_free(static_cast<plist_t>(node));
}

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr qint64 kAppleEpochOffset = 978307200;

} // namespace

Node parseNode(const QByteArray &bytes, const Limits &limits, Format *format)
{
    if (!isWithinLimits(bytes, limits))
        return nullptr;
    const bool binary = looksBinary(bytes);
    if (!binary && !isWellFormedXml(bytes))
        return nullptr;
    plist_t root = nullptr;
    if (binary) {
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &root);
    } else {
        plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &root);
    }
    if (root && format)
        *format = binary ? Format::Binary : Format::Xml;
    return Node(root);
}

Node readNodeFile(const QString &path, const Limits &limits, Format *format)
{
    // Only plain files: a FIFO or a device in its place would block the
    // reader or never end.
    if (!QFileInfo(path).isFile())
        return nullptr;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    // Read one byte past the limit so an oversized file is seen as such
    // without reading all of it, and no more than the file holds.
    const QByteArray bytes = file.read(std::min(file.size(), limits.maxBytes) + 1);
    return parseNode(bytes, limits, format);
}

QVariant toVariant(plist_t node)
{
    if (!node)
        return {};
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t v = 0;
        plist_get_bool_val(node, &v);
        return bool(v);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return qulonglong(v);
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return v;
    }
    case PLIST_STRING: {
        char *v = nullptr;
        plist_get_string_val(node, &v);
        QString s = QString::fromUtf8(v ? v : "");
        std::free(v);
        return s;
    }
    case PLIST_KEY: {
        char *v = nullptr;
        plist_get_key_val(node, &v);
        QString s = QString::fromUtf8(v ? v : "");
        std::free(v);
        return s;
    }
    case PLIST_DATA: {
        char *v = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &v, &length);
        QByteArray d(v, qsizetype(length));
        std::free(v);
        return d;
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QDateTime::fromMSecsSinceEpoch((qint64(sec) + kAppleEpochOffset) * 1000 + usec / 1000,
                                              QTimeZone::utc());
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i)
            list.append(toVariant(plist_array_get_item(node, i)));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!key)
                break;
            map.insert(QString::fromUtf8(key), toVariant(value));
            std::free(key);
        }
        std::free(it);
        return map;
    }
    default:
        return {};
    }
}

Node fromVariant(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return Node(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::LongLong:
        return Node(plist_new_uint(uint64_t(value.toLongLong())));
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return Node(plist_new_uint(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return Node(plist_new_real(value.toDouble()));
    case QMetaType::QByteArray: {
        const QByteArray d = value.toByteArray();
        return Node(plist_new_data(d.constData(), uint64_t(d.size())));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - kAppleEpochOffset * 1000;
        return Node(plist_new_date(int32_t(ms / 1000), int32_t((ms % 1000) * 1000)));
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        Node array(plist_new_array());
        for (const QVariant &item : value.toList())
            plist_array_append_item(array.get(), fromVariant(item).release());
        return array;
    }
    case QMetaType::QVariantMap: {
        Node dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(),
                                fromVariant(it.value()).release());
        return dict;
    }
    default:
        return Node(plist_new_string(value.toString().toUtf8().constData()));
    }
}

std::optional<QVariant> parse(const QByteArray &bytes, const Limits &limits)
{
    Node node = parseNode(bytes, limits);
    if (!node)
        return std::nullopt;
    return toVariant(node.get());
}

std::optional<QVariantMap> readDictionaryFile(const QString &path, const Limits &limits)
{
    Node node = readNodeFile(path, limits);
    if (!node || plist_get_node_type(node.get()) != PLIST_DICT)
        return std::nullopt;
    return toVariant(node.get()).toMap();
}

QByteArray serialize(plist_t node, Format format)
{
    if (!node)
        return {};
    char *out = nullptr;
    uint32_t length = 0;
    if (format == Format::Binary) {
        plist_to_bin(node, &out, &length);
        QByteArray bytes(out, qsizetype(length));
        plist_to_bin_free(out);
        return bytes;
    }
    plist_to_xml(node, &out, &length);
    QByteArray bytes(out, qsizetype(length));
    plist_to_xml_free(out);
    return bytes;
}

QByteArray serialize(const QVariant &value, Format format)
{
    Node node = fromVariant(value);
    return serialize(node.get(), format);
}

} // namespace PropertyList
