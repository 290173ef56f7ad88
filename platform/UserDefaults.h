#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <mutex>

class QSettings;

// The application's own preferences: a QSettings store (organisation
// "Lumora", application "Lumora Login") under a fallback layer that applies
// while the store holds no value of its own. The launch update check uses
// it from a worker thread while the window uses it, so every call locks.
class UserDefaults {
public:
    // The user's own preference file.
    UserDefaults();
    // A given file, for tests and for pointing several processes at one store.
    explicit UserDefaults(const QString &iniPath);
    ~UserDefaults();

    UserDefaults(const UserDefaults &) = delete;
    UserDefaults &operator=(const UserDefaults &) = delete;

    void registerDefaults(const QVariantMap &fallbacks);

    [[nodiscard]] QVariant objectForKey(const QString &key) const;
    [[nodiscard]] QString stringForKey(const QString &key) const;
    // "YES"/"NO" strings, Qt's "true"/"false", numbers and booleans all read
    // as a boolean; a missing key reads as false.
    [[nodiscard]] bool boolForKey(const QString &key) const;

    void setObject(const QString &key, const QVariant &value);
    void setBool(const QString &key, bool value);
    void removeObject(const QString &key);
    // Several values, read back at once, written to the file in one go when
    // the event loop next turns (or when the store goes, whichever comes
    // first): for what a launch records, which need not hold up the window.
    void setObjectsSoon(const QVariantMap &values);

    // Writes pending changes and picks up what other processes stored.
    void synchronize();

    [[nodiscard]] QString fileName() const;

    // Boolean reading shared with other stores of YES/NO strings.
    [[nodiscard]] static bool readsAsTrue(const QVariant &value);

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_fallbacks;
};
