#pragma once

#include <QByteArray>

// Shared by the checks and the readers of property lists.
namespace PropertyList {

[[nodiscard]] bool looksBinary(const QByteArray &bytes);

} // namespace PropertyList
