#pragma once

#include "platform/Volume.h"

#include <QString>
#include <QVariantMap>

#include <optional>

// A persistent preference domain named by path, as the login window keeps
// it: "<domain>.plist" on the volume, XML or binary. Read afresh each call.
[[nodiscard]] std::optional<QVariantMap> persistentDomainForName(const Volume &volume,
                                                                 const QString &domain);

// The string under `key`, or nothing when the key is missing or holds
// another type.
[[nodiscard]] std::optional<QString> stringValue(const QVariantMap &domain, const QString &key);
