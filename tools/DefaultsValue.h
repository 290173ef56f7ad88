#pragma once

#include <QByteArray>

// How lumora-defaults reads the VALUE of "write": a value that starts and
// ends with a double quote is a quoted string in which \" stands for a
// double quote and \\ for a backslash (any other backslash is kept as it
// is, so a trailing one survives); any other value is taken as given.
// Works on bytes: quotes and backslashes never occur inside a UTF-8
// multi-byte sequence, so the text around them is passed through intact.
namespace DefaultsValue {

[[nodiscard]] QByteArray parse(const QByteArray &value);

} // namespace DefaultsValue
