#include "platform/Volume.h"

#include <QDir>
#include <QFileInfo>

Volume::Volume(QString root) : m_root(std::move(root))
{
    if (m_root.isEmpty())
        m_root = QStringLiteral("/");
    // Keep "/" as it is; strip a trailing separator from anything else so
    // that root + "/Library/..." never doubles it.
    while (m_root.size() > 1 && m_root.endsWith(QLatin1Char('/')))
        m_root.chop(1);
}

Volume Volume::fromEnvironment()
{
    return Volume(qEnvironmentVariable("LUMORA_SYSTEM_ROOT"));
}

QString Volume::hostPath(const QString &volumePath) const
{
    if (isRootFilesystem())
        return volumePath;
    if (volumePath.startsWith(QLatin1Char('/')))
        return m_root + volumePath;
    return m_root + QLatin1Char('/') + volumePath;
}

QString Volume::displayName() const
{
    if (isRootFilesystem())
        return QStringLiteral("/");
    return QDir::cleanPath(QFileInfo(m_root).absoluteFilePath());
}
