#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

// The one way bytes become a property list in this application. Every
// input is read by the strict readers of PropertyListValue.h, within the
// limits below; anything beyond them is "no list". These functions hand
// the values out as plain Qt values.
namespace PropertyList {

enum class Format { Xml, Binary };

struct Value;

// Depth counts values on the deepest path: a lone string is 1, an array
// holding it 2. Nodes count the values (and dictionary keys) of the tree a
// binary list unfolds into, and also bound the objects a binary list may
// declare; an XML list cannot share values, so its size already bounds its
// tree.
struct Limits {
    qint64 maxBytes = 16 * 1024 * 1024;
    int maxDepth = 64;
    qint64 maxNodes = 1024 * 1024;
};

// Checks what can be checked without reading the values: the size, and
// for a binary list every offset and reference, the nesting depth and the
// size of the tree (cycles are refused). An XML list's depth is checked
// as it is read.
[[nodiscard]] bool isWithinLimits(const QByteArray &bytes, const Limits &limits);

// Whether the bytes would be a list but for their nesting depth: what
// tells a list nested too deeply from no list at all.
[[nodiscard]] bool isNestedTooDeeply(const QByteArray &bytes, const Limits &limits);

// Plain values: QVariantMap, QVariantList, QString, bool, qulonglong (a
// negative integer as its unsigned two's complement), double, QByteArray,
// QDateTime in UTC to the millisecond. A UID, or an integer beyond 64 bits,
// is an invalid QVariant: nothing here can hold it.
[[nodiscard]] QVariant toVariant(const Value &value);
// Anything else is written as the string QVariant::toString gives.
[[nodiscard]] Value fromVariant(const QVariant &value);

[[nodiscard]] std::optional<QVariant> parse(const QByteArray &bytes, const Limits &limits = {});

// A file whose top level is a dictionary; nothing for a missing, unreadable,
// oversized, corrupt or non-dictionary file.
[[nodiscard]] std::optional<QVariantMap> readDictionaryFile(const QString &path,
                                                            const Limits &limits = {});

// Empty when the encoding cannot hold the value: XML has no way to write
// most control characters. XML dates are written to the whole second.
[[nodiscard]] QByteArray serialize(const QVariant &value, Format format);

} // namespace PropertyList
