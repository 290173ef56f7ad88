#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

using plist_t = void *;

// The one way bytes become a property list in this application. libplist
// 2.2 crashes on deeply nested input (XML and binary alike) and trusts the
// offsets of a binary list, so every input is measured and walked here
// before libplist sees it; anything beyond the limits is "no list".
namespace PropertyList {

enum class Format { Xml, Binary };

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

struct NodeDeleter {
    void operator()(void *node) const;
};
using Node = std::unique_ptr<void, NodeDeleter>;

// Checks size, structure and nesting depth without parsing. For a binary
// list it also checks every offset and reference and rejects cycles.
[[nodiscard]] bool isWithinLimits(const QByteArray &bytes, const Limits &limits);

// The parsed tree, or null when the bytes are not a property list or exceed
// the limits. `format` receives the encoding that was found.
[[nodiscard]] Node parseNode(const QByteArray &bytes, const Limits &limits = {},
                             Format *format = nullptr);

// Reads at most limits.maxBytes from a file; a larger file is "no list".
[[nodiscard]] Node readNodeFile(const QString &path, const Limits &limits = {},
                                Format *format = nullptr);

// Plain values: QVariantMap, QVariantList, QString, bool, qlonglong/qulonglong,
// double, QByteArray, QDateTime.
[[nodiscard]] QVariant toVariant(plist_t node);
[[nodiscard]] Node fromVariant(const QVariant &value);

[[nodiscard]] std::optional<QVariant> parse(const QByteArray &bytes, const Limits &limits = {});

// A file whose top level is a dictionary; nothing for a missing, unreadable,
// oversized, corrupt or non-dictionary file.
[[nodiscard]] std::optional<QVariantMap> readDictionaryFile(const QString &path,
                                                            const Limits &limits = {});

[[nodiscard]] QByteArray serialize(plist_t node, Format format);
[[nodiscard]] QByteArray serialize(const QVariant &value, Format format);

} // namespace PropertyList
