// The checks every input passes before it is read: its size, and for a
// binary list every offset and reference, its nesting depth and the size of
// the tree it unfolds into.

#include "platform/PropertyList.h"
#include "platform/PropertyListLimits.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace PropertyList {

namespace {

constexpr char kBinaryMagic[] = "bplist00";

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

// A string holding a NUL is refused, in either encoding: no preference
// file holds one, and the programs that read them take strings as C
// strings, which would end there.
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

// Dictionary keys are strings.
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

// Checks a binary list completely before it is read: the trailer, the
// offset table, each object's extent and references, the depth of the
// object graph (a reference cycle counts as too deep) and the size of the
// tree it expands to. The reader makes a value once for every reference to
// an object, so a few hundred bytes of shared references could otherwise
// unfold into billions of values.
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
    // XML 1.0 has no place for a NUL byte.
    return !bytes.contains('\0');
}

bool isNestedTooDeeply(const QByteArray &bytes, const Limits &limits)
{
    if (bytes.isEmpty() || bytes.size() > limits.maxBytes)
        return false;
    Limits deeper = limits;
    deeper.maxDepth = std::numeric_limits<int>::max();
    if (looksBinary(bytes))
        return !binaryWithinLimits(bytes, limits) && binaryWithinLimits(bytes, deeper);
    // Elements nest as deeply as values do, less the <plist> around them;
    // the stream reader keeps no stack of its own callers, so any depth is
    // safe to walk.
    QXmlStreamReader reader(bytes);
    qint64 depth = 0;
    qint64 deepest = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            deepest = std::max(deepest, ++depth);
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return !reader.hasError() && deepest - 1 > limits.maxDepth;
}

} // namespace PropertyList
