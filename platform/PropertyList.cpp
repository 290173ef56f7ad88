#include "platform/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <plist/plist.h>

#include <QByteArrayView>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace PropertyList {

void NodeDeleter::operator()(void *node) const
{
    if (node)
        plist_free(static_cast<plist_t>(node));
}

namespace {

constexpr char kBinaryMagic[] = "bplist00";

bool looksBinary(const QByteArray &bytes)
{
    return bytes.size() >= 8 && std::memcmp(bytes.constData(), kBinaryMagic, 8) == 0;
}

// Walks the markup of an XML list and measures the nesting of its values.
// This is not an XML parser; it only has to be at least as strict about
// depth as libplist's recursive one. Every element counts except the one
// <plist> that wraps the root value, closing tags must match, and the
// skipped constructs (comments, CDATA, declarations) are skipped no further
// than their first possible end, so nothing hidden from this walk can reach
// libplist as an element.
bool xmlWithinDepth(const QByteArray &bytes, int maxDepth)
{
    const QByteArrayView all(bytes);
    std::vector<QByteArrayView> open;
    bool wrapped = false; // open[0] is the outer <plist>
    qsizetype at = 0;
    for (;;) {
        at = all.indexOf('<', at);
        if (at < 0)
            break;
        const QByteArrayView rest = all.sliced(at + 1);
        auto skipPast = [&](QByteArrayView terminator, qsizetype from) {
            const qsizetype end = rest.indexOf(terminator, from);
            if (end < 0)
                return false;
            at += 1 + end + terminator.size();
            return true;
        };
        if (rest.startsWith("!--")) {
            if (!skipPast("-->", 3))
                return false;
            continue;
        }
        if (rest.startsWith("![CDATA[")) {
            if (!skipPast("]]>", 8))
                return false;
            continue;
        }
        if (rest.startsWith('?') || rest.startsWith('!')) {
            if (!skipPast(">", 0))
                return false;
            continue;
        }
        const qsizetype close = rest.indexOf('>');
        if (close < 0)
            return false;
        const QByteArrayView tag = rest.first(close);
        at += 1 + close + 1;

        if (tag.startsWith('/')) {
            if (open.empty() || open.back() != tag.sliced(1).trimmed())
                return false;
            open.pop_back();
            if (open.empty())
                wrapped = false;
            continue;
        }
        const bool selfClosing = tag.endsWith('/');
        qsizetype nameEnd = 0;
        while (nameEnd < tag.size() && tag[nameEnd] != '/' && tag[nameEnd] != '>'
               && !std::isspace(static_cast<unsigned char>(tag[nameEnd])))
            ++nameEnd;
        const QByteArrayView name = tag.first(nameEnd);
        if (name.isEmpty())
            return false;
        if (open.empty() && name == "plist") {
            if (!selfClosing) {
                open.push_back(name);
                wrapped = true;
            }
            continue;
        }
        const qsizetype depth = qsizetype(open.size()) - (wrapped ? 1 : 0) + 1;
        if (depth > maxDepth)
            return false;
        if (!selfClosing)
            open.push_back(name);
    }
    return open.empty();
}

quint64 readBigEndian(const uchar *p, int size)
{
    quint64 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | p[i];
    return v;
}

// Checks a binary list completely before libplist reads it: the trailer,
// the offset table, each object's extent and references, the depth of the
// object graph (a reference cycle counts as too deep) and the size of the
// tree it expands to. libplist copies an object once for every reference
// to it, so a few hundred bytes of shared references can otherwise unfold
// into billions of nodes.
bool binaryWithinLimits(const QByteArray &bytes, const Limits &limits)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const quint64 size = quint64(bytes.size());
    if (size < 8 + 32)
        return false;
    const uchar *trailer = data + size - 32;
    const int offsetSize = trailer[6];
    const int refSize = trailer[7];
    const quint64 count = readBigEndian(trailer + 8, 8);
    const quint64 top = readBigEndian(trailer + 16, 8);
    const quint64 tableOffset = readBigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8)
        return false;
    if (count == 0 || count > size || top >= count)
        return false;
    // The checks below keep a few words per object. A well-formed list has
    // no object outside its tree, so one claiming more objects than the tree
    // may have nodes is refused before any of that is allocated.
    if (count > quint64(std::max<qint64>(limits.maxNodes, 1)))
        return false;
    if (tableOffset < 8 || tableOffset > size - 32
        || count > (size - 32 - tableOffset) / quint64(offsetSize))
        return false;

    // Children of every object, as indices; dictionaries list their keys
    // first, then their values.
    std::vector<quint64> firstChild(count + 1, 0);
    std::vector<quint64> children;
    std::vector<uchar> types(count, 0);
    std::vector<quint64> keyCounts(count, 0);
    for (quint64 i = 0; i < count; ++i) {
        firstChild[i] = children.size();
        const quint64 offset = readBigEndian(data + tableOffset + i * quint64(offsetSize), offsetSize);
        if (offset < 8 || offset >= tableOffset)
            return false;
        const uchar marker = data[offset];
        const int type = marker >> 4;
        types[i] = uchar(type);
        quint64 length = marker & 0x0f;
        quint64 pos = offset + 1;
        auto readLength = [&]() -> bool {
            if (length != 0x0f)
                return true;
            if (pos >= tableOffset || (data[pos] >> 4) != 0x1)
                return false;
            const int n = 1 << (data[pos] & 0x0f);
            if (n > 8 || pos + 1 + quint64(n) > tableOffset)
                return false;
            length = readBigEndian(data + pos + 1, n);
            pos += 1 + quint64(n);
            return true;
        };
        auto fits = [&](quint64 bytesNeeded) {
            return bytesNeeded <= tableOffset && pos <= tableOffset - bytesNeeded;
        };
        switch (type) {
        case 0x0:
            if (marker != 0x00 && marker != 0x08 && marker != 0x09 && marker != 0x0f)
                return false;
            break;
        case 0x1:
            if (length > 4 || !fits(quint64(1) << length))
                return false;
            break;
        case 0x2:
            // Only 4- and 8-byte reals exist.
            if ((length != 2 && length != 3) || !fits(quint64(1) << length))
                return false;
            break;
        case 0x3:
            if (marker != 0x33 || !fits(8))
                return false;
            break;
        case 0x4:
            if (!readLength() || !fits(length))
                return false;
            break;
        // libplist hands strings out as C strings and aborts on one that
        // holds a NUL, so such a string is refused here.
        case 0x5:
            if (!readLength() || !fits(length) || std::memchr(data + pos, 0, length))
                return false;
            break;
        case 0x6:
            if (!readLength() || length > size / 2 || !fits(length * 2))
                return false;
            for (quint64 c = 0; c < length; ++c) {
                if (data[pos + 2 * c] == 0 && data[pos + 2 * c + 1] == 0)
                    return false;
            }
            break;
        case 0x8:
            if (length > 7 || !fits(length + 1))
                return false;
            break;
        case 0xA:
        case 0xC:
        case 0xD: {
            if (!readLength())
                return false;
            const quint64 refs = type == 0xD ? length * 2 : length;
            if (length > size || !fits(refs * quint64(refSize)))
                return false;
            for (quint64 r = 0; r < refs; ++r) {
                const quint64 ref = readBigEndian(data + pos + r * quint64(refSize), refSize);
                if (ref >= count)
                    return false;
                children.push_back(ref);
            }
            if (type == 0xD)
                keyCounts[i] = length;
            break;
        }
        default:
            return false;
        }
    }
    firstChild[count] = children.size();

    // Dictionary keys are strings, in the format and for libplist alike.
    for (quint64 i = 0; i < count; ++i) {
        for (quint64 k = 0; k < keyCounts[i]; ++k) {
            const uchar keyType = types[children[firstChild[i] + k]];
            if (keyType != 0x5 && keyType != 0x6)
                return false;
        }
    }

    // Depth and expanded size of the tree below `top`, walked iteratively;
    // 0 = unseen, 1 = on the path (seeing it again is a cycle), 2 = done.
    // A shared object is measured once and counted at every reference.
    const quint64 maxNodes = quint64(std::max<qint64>(limits.maxNodes, 1));
    std::vector<uchar> state(count, 0);
    std::vector<int> height(count, 0);
    std::vector<quint64> nodes(count, 0);
    struct Frame {
        quint64 object;
        quint64 next;
    };
    std::vector<Frame> stack;
    stack.push_back({top, firstChild[top]});
    state[top] = 1;
    while (!stack.empty()) {
        if (qint64(stack.size()) > limits.maxDepth)
            return false;
        Frame &frame = stack.back();
        if (frame.next < firstChild[frame.object + 1]) {
            const quint64 child = children[frame.next++];
            if (state[child] == 1)
                return false;
            if (state[child] == 0) {
                state[child] = 1;
                stack.push_back({child, firstChild[child]});
            }
            continue;
        }
        int h = 0;
        quint64 n = 1;
        for (quint64 c = firstChild[frame.object]; c < firstChild[frame.object + 1]; ++c) {
            h = std::max(h, height[children[c]] + 1);
            n += nodes[children[c]];
            if (n > maxNodes)
                return false;
        }
        height[frame.object] = h;
        nodes[frame.object] = n;
        state[frame.object] = 2;
        stack.pop_back();
    }
    return height[top] < limits.maxDepth;
}

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr qint64 kAppleEpochOffset = 978307200;

} // namespace

bool isWithinLimits(const QByteArray &bytes, const Limits &limits)
{
    if (bytes.isEmpty() || bytes.size() > limits.maxBytes)
        return false;
    if (looksBinary(bytes))
        return binaryWithinLimits(bytes, limits);
    // libplist keeps an XML string's length past a NUL byte and then aborts
    // when handing it out as a C string; no text list holds one.
    if (bytes.contains('\0'))
        return false;
    // XML has no place for a NUL byte, and libplist aborts on a string
    // that holds one.
    if (bytes.contains('\0'))
        return false;
    return xmlWithinDepth(bytes, limits.maxDepth);
}

Node parseNode(const QByteArray &bytes, const Limits &limits, Format *format)
{
    if (!isWithinLimits(bytes, limits))
        return nullptr;
    plist_t root = nullptr;
    const bool binary = looksBinary(bytes);
    if (binary) {
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &root);
    } else {
        // libplist's XML reader wants the text to start at the markup.
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
