#include "platform/Bundle.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

bool isProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

Bundle::Bundle(QString resourceDir, QString executableDir, QString helperDir)
    : m_resourceDir(std::move(resourceDir)),
      m_executableDir(std::move(executableDir)),
      m_helperDir(std::move(helperDir))
{
}

Bundle Bundle::fromApplication()
{
    return locate(QCoreApplication::applicationDirPath(), qEnvironmentVariable("LUMORA_RESOURCES"));
}

Bundle Bundle::locate(const QString &executableDir, const QString &resourceDir)
{
    // Paths as installed by cmake/Packaging.cmake, relative to PREFIX/bin.
    const QString prefix = QDir::cleanPath(executableDir + QStringLiteral("/.."));
    QString resources = resourceDir;
    if (resources.isEmpty()) {
        resources = executableDir + QStringLiteral("/resources");
        const QString installed = prefix + QStringLiteral("/share/lumora-login");
        if (!QFileInfo(resources).isDir() && QFileInfo(installed).isDir())
            resources = installed;
    }
    return Bundle(resources, executableDir, prefix + QStringLiteral("/libexec/lumora-login"));
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
    const QString beside = m_executableDir + QLatin1Char('/') + name;
    if (m_helperDir.isEmpty() || isProgram(beside))
        return beside;
    // Named even when missing, so that an error names the installed place.
    return m_helperDir + QLatin1Char('/') + name;
}
