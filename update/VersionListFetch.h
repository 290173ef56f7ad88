#pragma once

#include "update/UpdateCheck.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

// The two ways a check gets the version list. Both ask their address once,
// give nothing when no dictionary arrived within `timeout` and `maxBytes`,
// and stop early once `cancellation` (which may be null) is cancelled.
namespace UpdateCheck {

// Downloads the list with curl into a private folder and reads it from there.
[[nodiscard]] std::optional<QVariantMap> downloadWithCurl(const QString &address, std::chrono::milliseconds timeout,
                                                          qint64 maxBytes,
                                                          const std::shared_ptr<Cancellation> &cancellation);

// Reads the list straight from the fallback address, bounded in time and
// size (with curl as well; see VersionListRead.cpp).
[[nodiscard]] std::optional<QVariantMap> readFromAddress(const QString &address, std::chrono::milliseconds timeout,
                                                         qint64 maxBytes,
                                                         const std::shared_ptr<Cancellation> &cancellation);

// Parses a downloaded list the one guarded way, within our own size cap.
[[nodiscard]] std::optional<QVariantMap> parseList(const QByteArray &bytes, qint64 maxBytes);

} // namespace UpdateCheck
