#include "platform/Bundle.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

Bundle::Bundle(QString resourceDir, QString executableDir)
    : m_resourceDir(std::move(resourceDir)), m_executableDir(std::move(executableDir))
{
}

Bundle Bundle::fromApplication()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    QString resources = qEnvironmentVariable("LUMORA_RESOURCES");
    if (resources.isEmpty()) {
        resources = exeDir + QStringLiteral("/resources");
        const QString installed = exeDir + QStringLiteral("/../share/lumora-login/resources");
        if (!QFileInfo(resources).isDir() && QFileInfo(installed).isDir())
            resources = QDir::cleanPath(installed);
    }
    return Bundle(resources, exeDir);
}

std::optional<QString> Bundle::pathForResource(const QString &fileName) const
{
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')))
        return std::nullopt;
    const QString path = m_resourceDir + QLatin1Char('/') + fileName;
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return path;
}

QVariantMap Bundle::infoDictionary() const
{
    const auto info = PropertyList::readDictionaryFile(m_resourceDir + QStringLiteral("/Info.plist"));
    return info.value_or(QVariantMap());
}

QString Bundle::infoString(const QString &key) const
{
    const QVariant value = infoDictionary().value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QString Bundle::bundleIdentifier() const
{
    return infoString(QStringLiteral("CFBundleIdentifier"));
}

QString Bundle::version() const
{
    return infoString(QStringLiteral("CFBundleVersion"));
}

QString Bundle::helperPath(const QString &name) const
{
    return m_executableDir + QLatin1Char('/') + name;
}
