#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// The application's bundle: the resources folder (stock images, Info.plist,
// translations) and the folder of the executables, where the project's own
// tools live. Found beside the running executable unless told otherwise.
class Bundle {
public:
    Bundle(QString resourceDir, QString executableDir);

    // LUMORA_RESOURCES if set, else <executable dir>/resources, else
    // <executable dir>/../share/lumora-login/resources.
    [[nodiscard]] static Bundle fromApplication();

    [[nodiscard]] const QString &resourceDir() const { return m_resourceDir; }
    [[nodiscard]] const QString &executableDir() const { return m_executableDir; }

    // The whole file name, extension included; nothing when it is missing.
    [[nodiscard]] std::optional<QString> pathForResource(const QString &fileName) const;

    // Info.plist, read afresh through the guarded reader; empty when missing.
    [[nodiscard]] QVariantMap infoDictionary() const;
    [[nodiscard]] QString infoString(const QString &key) const;
    [[nodiscard]] QString bundleIdentifier() const;
    [[nodiscard]] QString version() const;

    // A program that ships beside the executables.
    [[nodiscard]] QString helperPath(const QString &name) const;

private:
    QString m_resourceDir;
    QString m_executableDir;
};
