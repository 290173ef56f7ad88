#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

// What the file operations of a save run: one run of the file tool each,
// with the volume's root and the volume paths it works on. The tool sits
// beside the test programs.
namespace InstallRuns {

inline QString fileTool()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-fileop");
}

// A host path on the volume at `root` as the volume names it.
inline QString onVolume(const QString &root, const QString &hostPath)
{
    return hostPath.startsWith(root + QLatin1Char('/')) ? hostPath.mid(root.size()) : hostPath;
}

inline QStringList fileOperation(const QString &root, const QStringList &operation)
{
    return QStringList{fileTool(), QStringLiteral("--root"), root} + operation;
}

// The copy of a staging file into place (host path on the volume).
inline QList<QStringList> copyIntoPlace(const QString &root, const QString &destination)
{
    return {fileOperation(root, {QStringLiteral("install"), onVolume(root, destination)})};
}

// A one-time backup beside a file of the volume (host paths).
inline QList<QStringList> backup(const QString &root, const QString &file, const QString &backupFile)
{
    return {fileOperation(root, {QStringLiteral("backup"), onVolume(root, file), onVolume(root, backupFile)})};
}

} // namespace InstallRuns
