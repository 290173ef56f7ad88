#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// The application's bundle: the resources folder (stock images, Info.plist,
// translations) and the folders where the project's own tools live. Found
// relative to the running executable, in the build tree and when installed.
class Bundle {
public:
    // Helpers are looked for in executableDir first, then in helperDir.
    Bundle(QString resourceDir, QString executableDir, QString helperDir = QString());

    // locate() for the running executable, with LUMORA_RESOURCES as the
    // resource folder when it is set.
    [[nodiscard]] static Bundle fromApplication();

    // The build tree keeps resources/ and the helpers beside the
    // executables; an installation (PREFIX/bin) keeps the resources in
    // PREFIX/share/lumora-login and the helpers in PREFIX/libexec/lumora-login.
    // The build layout is tried first. An empty resourceDir means "look".
    [[nodiscard]] static Bundle locate(const QString &executableDir, const QString &resourceDir = QString());

    [[nodiscard]] const QString &resourceDir() const { return m_resourceDir; }
    [[nodiscard]] const QString &executableDir() const { return m_executableDir; }
    [[nodiscard]] const QString &helperDir() const { return m_helperDir; }

    // The whole file name, extension included; nothing when it is missing.
    [[nodiscard]] std::optional<QString> pathForResource(const QString &fileName) const;

    // Info.plist, read afresh through the guarded reader; empty when missing.
    [[nodiscard]] QVariantMap infoDictionary() const;
    [[nodiscard]] QString infoString(const QString &key) const;
    [[nodiscard]] QString bundleIdentifier() const;
    [[nodiscard]] QString version() const;

    // A program of the project's own: beside the executables when it is
    // there (the build tree), else in the helper folder (an installation).
    [[nodiscard]] QString helperPath(const QString &name) const;

private:
    QString m_resourceDir;
    QString m_executableDir;
    QString m_helperDir;
};
