#pragma once

#include "platform/PropertyListValue.h"

#include <QByteArray>

#include <optional>

// How lumora-defaults reads the VALUE of "write": a value that starts and
// ends with a double quote is a quoted string in which \" stands for a
// double quote and \\ for a backslash (any other backslash is kept as it
// is, so a trailing one survives); any other value is taken as given.
// Works on bytes: quotes and backslashes never occur inside a UTF-8
// multi-byte sequence, so the text around them is passed through intact.
//
// "write DOMAIN KEY -bool VALUE" and "-int VALUE" give a typed value, as
// the system's own defaults tool takes them: a boolean from YES, NO, TRUE,
// FALSE (any case), 1 or 0; an integer from an optional sign and decimal
// digits within 64 bits. Anything else is refused.
namespace DefaultsValue {

[[nodiscard]] QByteArray parse(const QByteArray &value);

// Whether `type` is one of the type flags ("-bool", "-boolean", "-int",
// "-integer").
[[nodiscard]] bool isTypeFlag(const QByteArray &type);
// The typed value, or nothing when `value` is not one of that type.
[[nodiscard]] std::optional<PropertyList::Value> typed(const QByteArray &type, const QByteArray &value);

} // namespace DefaultsValue
