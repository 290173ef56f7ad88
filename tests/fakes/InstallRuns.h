#pragma once

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

// What a privileged copy into place runs: the copy to a hidden file beside
// the destination, its sync to disk, the rename over the destination, then
// the sync of the folder that holds the new name. The hidden file's random part
// is written as "********" here; stableSideNames() does the same to
// recorded runs so that the two compare.
namespace InstallRuns {

inline QString sideFile(const QString &destination)
{
    const QFileInfo target(destination);
    return target.dir().filePath(QStringLiteral(".%1.lumora-********").arg(target.fileName()));
}

inline QList<QStringList> copyIntoPlace(const QString &source, const QString &destination)
{
    return {{QStringLiteral("/bin/cp"), source, sideFile(destination)},
            {QStringLiteral("/bin/sync"), sideFile(destination)},
            {QStringLiteral("/bin/mv"), QStringLiteral("-f"), QStringLiteral("-T"), sideFile(destination),
             destination},
            {QStringLiteral("/bin/sync"), QFileInfo(destination).absolutePath()}};
}

inline QList<QStringList> stableSideNames(QList<QStringList> runs)
{
    static const QRegularExpression random(QStringLiteral("\\.lumora-[a-z0-9]{8}$"));
    for (QStringList &run : runs) {
        for (QString &argument : run)
            argument.replace(random, QStringLiteral(".lumora-********"));
    }
    return runs;
}

} // namespace InstallRuns
