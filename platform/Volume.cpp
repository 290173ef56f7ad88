#include "platform/Volume.h"
#include "platform/VolumePath.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

Volume::Volume(QString root) : m_root(std::move(root))
{
    if (m_root.isEmpty())
        m_root = QStringLiteral("/");
    // Keep "/" as it is; strip a trailing separator from anything else so
    // that root + "/Library/..." never doubles it.
    while (m_root.size() > 1 && m_root.endsWith(QLatin1Char('/')))
        m_root.chop(1);
}

Volume::Volume(QString root, QString name, QString place)
    : Volume(std::move(root))
{
    m_name = std::move(name);
    m_place = std::move(place);
}

Volume Volume::fromEnvironment()
{
    return Volume(qEnvironmentVariable("LUMORA_SYSTEM_ROOT"));
}

std::optional<QString> volumePathOf(const Volume &volume, const QString &hostPath)
{
    if (volume.isRootFilesystem())
        return hostPath;
    const QString &root = volume.root();
    if (hostPath == root)
        return QStringLiteral("/");
    if (hostPath.startsWith(root + QLatin1Char('/')))
        return hostPath.mid(root.size());
    return std::nullopt;
}

QString Volume::hostPath(const QString &volumePath) const
{
    if (isRootFilesystem())
        return volumePath;
    // Paths come from the volume's own files too ("DesktopPicture"). On the
    // volume "/.." is "/", so no path may climb out of the mount point here.
    QStringList parts;
    for (const QString &part : volumePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (part != QLatin1String(".")) {
            parts.append(part);
        }
    }
    if (parts.isEmpty())
        return m_root;
    return m_root + QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

QString Volume::displayName() const
{
    if (!m_place.isEmpty())
        return m_place;
    if (isRootFilesystem())
        return QStringLiteral("/");
    return QDir::cleanPath(QFileInfo(m_root).absoluteFilePath());
}

QString Volume::name() const
{
    if (!m_name.isEmpty())
        return m_name;
    const QString path = displayName();
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}
