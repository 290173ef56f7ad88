#pragma once

#include <QRegularExpression>
#include <QString>

// The names of the history of saved looks on the volume: one folder in the
// shared support folder, holding a record per look and each picture once,
// named by its SHA-256. Nothing else in that folder is ever written, read or
// removed, and nothing there is followed: the privileged tools and the
// readers agree on these names.
namespace LookFiles {

inline const QString kFolder = QStringLiteral("/Library/Application Support/Lumora/Looks");

// "look-20261208T114500Z.plist", a second look in the same second "-2".
[[nodiscard]] inline bool isRecordName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^look-[0-9]{8}T[0-9]{6}Z(-[0-9]{1,3})?\\.plist$"));
    return pattern.match(name).hasMatch();
}

[[nodiscard]] inline bool isPictureName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^picture-[0-9a-f]{64}$"));
    return pattern.match(name).hasMatch();
}

[[nodiscard]] inline bool isEntryName(const QString &name)
{
    return isRecordName(name) || isPictureName(name);
}

[[nodiscard]] inline QString recordName(const QString &id)
{
    return QStringLiteral("look-%1.plist").arg(id);
}

[[nodiscard]] inline QString pictureName(const QString &sha256)
{
    return QStringLiteral("picture-") + sha256;
}

} // namespace LookFiles
