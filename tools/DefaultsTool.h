#pragma once

#include <QByteArray>
#include <QString>

// The commands of lumora-defaults. Each returns the exit status and
// prints its own messages.
//
// A write or delete changes the named key and nothing else: every other
// value keeps its type and value exactly, and the file its encoding
// (XML or binary), owner and mode. A file that is not a strictly valid
// property list, or a change that its encoding cannot hold, is refused
// with status 1 and the file left as it was. Writers of one domain take
// turns through a lock on its folder.
namespace DefaultsTool {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;

// With a `type` flag ("-bool", "-int"; see DefaultsValue.h) the value is
// written as a boolean or an integer; without one as a string. With a root,
// the domain is a path on the volume mounted there (see DomainFile).
[[nodiscard]] int writeKey(const QByteArray &domain, const QByteArray &key, const QByteArray &rawValue,
                           const QByteArray &type = {}, const QString &root = QString());
[[nodiscard]] int deleteKey(const QByteArray &domain, const QByteArray &key, const QString &root = QString());
// Prints one value, or with no key the whole domain as an XML property list.
[[nodiscard]] int read(const QByteArray &domain, const QByteArray *key, const QString &root = QString());

} // namespace DefaultsTool
