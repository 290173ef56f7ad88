// The checks every input passes before libplist sees it: size, structure
// and nesting depth, and for a binary list every offset and reference.

#include "platform/PropertyList.h"
#include "platform/PropertyListLimits.h"

#include <QByteArrayView>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <vector>

namespace PropertyList {

namespace {

constexpr char kBinaryMagic[] = "bplist00";

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

// Children of every object, as indices; dictionaries list their keys
// first, then their values.
struct ObjectGraph {
    std::vector<quint64> firstChild; // one more entry than there are objects
    std::vector<quint64> children;
    std::vector<uchar> types;
    std::vector<quint64> keyCounts;
};

// A read position inside the object area, which ends at the offset table.
struct Cursor {
    const uchar *data;
    quint64 pos;
    quint64 end;

    bool fits(quint64 bytesNeeded) const { return bytesNeeded <= end && pos <= end - bytesNeeded; }

    // A length of 0xf in a marker means the real length follows as an
    // integer object.
    bool readLength(quint64 &length)
    {
        if (length != 0x0f)
            return true;
        if (pos >= end || (data[pos] >> 4) != 0x1)
            return false;
        const int n = 1 << (data[pos] & 0x0f);
        if (n > 8 || pos + 1 + quint64(n) > end)
            return false;
        length = readBigEndian(data + pos + 1, n);
        pos += 1 + quint64(n);
        return true;
    }
};

bool scalarFits(uchar marker, quint64 length, const Cursor &at)
{
    switch (marker >> 4) {
    case 0x0:
        return marker == 0x00 || marker == 0x08 || marker == 0x09 || marker == 0x0f;
    case 0x1:
        return length <= 4 && at.fits(quint64(1) << length);
    case 0x2:
        // Only 4- and 8-byte reals exist.
        return (length == 2 || length == 3) && at.fits(quint64(1) << length);
    case 0x3:
        return marker == 0x33 && at.fits(8);
    case 0x8:
        return length <= 7 && at.fits(length + 1);
    default:
        return false;
    }
}

// libplist hands strings out as C strings and aborts on one that holds a
// NUL, so such a string is refused here, in either encoding.
bool stringFits(int type, quint64 length, const Cursor &at, quint64 size)
{
    if (type == 0x5)
        return at.fits(length) && !std::memchr(at.data + at.pos, 0, length);
    if (length > size / 2 || !at.fits(length * 2))
        return false;
    for (quint64 c = 0; c < length; ++c) {
        if (at.data[at.pos + 2 * c] == 0 && at.data[at.pos + 2 * c + 1] == 0)
            return false;
    }
    return true;
}

// Checks the extent of object `index` and records what it refers to.
bool readObject(const uchar *data, quint64 size, const BinaryTrailer &t, quint64 index, ObjectGraph &graph)
{
    graph.firstChild[index] = graph.children.size();
    const quint64 offset = readBigEndian(data + t.tableOffset + index * quint64(t.offsetSize), t.offsetSize);
    if (offset < 8 || offset >= t.tableOffset)
        return false;
    const uchar marker = data[offset];
    const int type = marker >> 4;
    graph.types[index] = uchar(type);
    quint64 length = marker & 0x0f;
    Cursor at{data, offset + 1, t.tableOffset};
    switch (type) {
    case 0x4:
        return at.readLength(length) && at.fits(length);
    case 0x5:
    case 0x6:
        return at.readLength(length) && stringFits(type, length, at, size);
    case 0xA:
    case 0xC:
    case 0xD: {
        if (!at.readLength(length))
            return false;
        const quint64 refs = type == 0xD ? length * 2 : length;
        if (length > size || !at.fits(refs * quint64(t.refSize)))
            return false;
        for (quint64 r = 0; r < refs; ++r) {
            const quint64 ref = readBigEndian(data + at.pos + r * quint64(t.refSize), t.refSize);
            if (ref >= t.count)
                return false;
            graph.children.push_back(ref);
        }
        if (type == 0xD)
            graph.keyCounts[index] = length;
        return true;
    }
    default:
        return scalarFits(marker, length, at);
    }
}

// Dictionary keys are strings, in the format and for libplist alike.
bool keysAreStrings(const ObjectGraph &graph)
{
    for (size_t i = 0; i < graph.keyCounts.size(); ++i) {
        for (quint64 k = 0; k < graph.keyCounts[i]; ++k) {
            const uchar keyType = graph.types[graph.children[graph.firstChild[i] + k]];
            if (keyType != 0x5 && keyType != 0x6)
                return false;
        }
    }
    return true;
}

// Depth and expanded size of the tree below `top`, walked iteratively;
// 0 = unseen, 1 = on the path (seeing it again is a cycle), 2 = done.
// A shared object is measured once and counted at every reference.
bool treeWithinLimits(const ObjectGraph &graph, quint64 top, const Limits &limits)
{
    const quint64 count = graph.types.size();
    const quint64 maxNodes = quint64(std::max<qint64>(limits.maxNodes, 1));
    std::vector<uchar> state(count, 0);
    std::vector<int> height(count, 0);
    std::vector<quint64> nodes(count, 0);
    struct Frame {
        quint64 object;
        quint64 next;
    };
    std::vector<Frame> stack;
    stack.push_back({top, graph.firstChild[top]});
    state[top] = 1;
    while (!stack.empty()) {
        if (qint64(stack.size()) > limits.maxDepth)
            return false;
        Frame &frame = stack.back();
        if (frame.next < graph.firstChild[frame.object + 1]) {
            const quint64 child = graph.children[frame.next++];
            if (state[child] == 1)
                return false;
            if (state[child] == 0) {
                state[child] = 1;
                stack.push_back({child, graph.firstChild[child]});
            }
            continue;
        }
        int h = 0;
        quint64 n = 1;
        for (quint64 c = graph.firstChild[frame.object]; c < graph.firstChild[frame.object + 1]; ++c) {
            h = std::max(h, height[graph.children[c]] + 1);
            n += nodes[graph.children[c]];
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
    const std::optional<BinaryTrailer> trailer = readBinaryTrailer(bytes, limits);
    if (!trailer)
        return false;
    ObjectGraph graph;
    graph.firstChild.assign(trailer->count + 1, 0);
    graph.types.assign(trailer->count, 0);
    graph.keyCounts.assign(trailer->count, 0);
    for (quint64 i = 0; i < trailer->count; ++i) {
        if (!readObject(data, size, *trailer, i, graph))
            return false;
    }
    graph.firstChild[trailer->count] = graph.children.size();
    return keysAreStrings(graph) && treeWithinLimits(graph, trailer->top, limits);
}

} // namespace

quint64 readBigEndian(const uchar *p, int size)
{
    quint64 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | p[i];
    return v;
}

std::optional<BinaryTrailer> readBinaryTrailer(const QByteArray &bytes, const Limits &limits)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const quint64 size = quint64(bytes.size());
    if (size < 8 + 32)
        return std::nullopt;
    const uchar *end = data + size - 32;
    BinaryTrailer t;
    t.offsetSize = end[6];
    t.refSize = end[7];
    t.count = readBigEndian(end + 8, 8);
    t.top = readBigEndian(end + 16, 8);
    t.tableOffset = readBigEndian(end + 24, 8);
    if (t.offsetSize < 1 || t.offsetSize > 8 || t.refSize < 1 || t.refSize > 8)
        return std::nullopt;
    if (t.count == 0 || t.count > size || t.top >= t.count)
        return std::nullopt;
    // The checks keep a few words per object. A well-formed list has no
    // object outside its tree, so one claiming more objects than the tree
    // may have nodes is refused before any of that is allocated.
    if (t.count > quint64(std::max<qint64>(limits.maxNodes, 1)))
        return std::nullopt;
    if (t.tableOffset < 8 || t.tableOffset > size - 32
        || t.count > (size - 32 - t.tableOffset) / quint64(t.offsetSize))
        return std::nullopt;
    return t;
}

quint64 binaryObjectOffset(const QByteArray &bytes, const BinaryTrailer &t, quint64 index)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    return readBigEndian(data + t.tableOffset + index * quint64(t.offsetSize), t.offsetSize);
}

bool isWellFormedXml(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument: {
            const QStringView encoding = reader.documentEncoding();
            if (!encoding.isEmpty() && encoding.compare(u"UTF-8", Qt::CaseInsensitive) != 0)
                return false;
            break;
        }
        case QXmlStreamReader::DTD:
            if (!reader.entityDeclarations().isEmpty())
                return false;
            break;
        case QXmlStreamReader::EntityReference:
            return false;
        default:
            break;
        }
    }
    return !reader.hasError();
}

bool looksBinary(const QByteArray &bytes)
{
    return bytes.size() >= 8 && std::memcmp(bytes.constData(), kBinaryMagic, 8) == 0;
}

bool isWithinLimits(const QByteArray &bytes, const Limits &limits)
{
    if (bytes.isEmpty() || bytes.size() > limits.maxBytes)
        return false;
    if (looksBinary(bytes))
        return binaryWithinLimits(bytes, limits);
    // XML has no place for a NUL byte, and libplist keeps an XML string's
    // length past one and then aborts when handing it out as a C string.
    if (bytes.contains('\0'))
        return false;
    return xmlWithinDepth(bytes, limits.maxDepth);
}

} // namespace PropertyList
