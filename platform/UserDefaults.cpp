#include "platform/UserDefaults.h"

#include <QEvent>
#include <QSettings>

namespace {

// QSettings answers each write by posting itself a request to write the
// file later, from the event loop of the thread that made it - outside our
// lock, while the update thread may be inside a call. Every write here is
// written out at once under the lock, so those requests are dropped.
class LockedSettings final : public QSettings {
public:
    using QSettings::QSettings;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            return true;
        return QSettings::event(event);
    }
};

} // namespace

UserDefaults::UserDefaults()
    : m_settings(std::make_unique<LockedSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                  QStringLiteral("Lumora"), QStringLiteral("Lumora Login")))
{
}

UserDefaults::UserDefaults(const QString &iniPath)
    : m_settings(std::make_unique<LockedSettings>(iniPath, QSettings::IniFormat))
{
}

UserDefaults::~UserDefaults() = default;

void UserDefaults::registerDefaults(const QVariantMap &fallbacks)
{
    std::lock_guard lock(m_mutex);
    for (auto it = fallbacks.cbegin(); it != fallbacks.cend(); ++it)
        m_fallbacks.insert(it.key(), it.value());
}

QVariant UserDefaults::objectForKey(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    const QVariant own = m_settings->value(key);
    if (own.isValid())
        return own;
    return m_fallbacks.value(key);
}

QString UserDefaults::stringForKey(const QString &key) const
{
    const QVariant value = objectForKey(key);
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return {};
}

bool UserDefaults::readsAsTrue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString s = value.toString().trimmed();
        if (s.compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0
            || s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const int n = s.toInt(&ok);
        return ok && n != 0;
    }
    default:
        return value.isValid() && value.toLongLong() != 0;
    }
}

bool UserDefaults::boolForKey(const QString &key) const
{
    return readsAsTrue(objectForKey(key));
}

void UserDefaults::setObject(const QString &key, const QVariant &value)
{
    std::lock_guard lock(m_mutex);
    m_settings->setValue(key, value);
    m_settings->sync();
}

void UserDefaults::setBool(const QString &key, bool value)
{
    setObject(key, value);
}

void UserDefaults::removeObject(const QString &key)
{
    std::lock_guard lock(m_mutex);
    m_settings->remove(key);
    m_settings->sync();
}

void UserDefaults::synchronize()
{
    std::lock_guard lock(m_mutex);
    m_settings->sync();
}

QString UserDefaults::fileName() const
{
    std::lock_guard lock(m_mutex);
    return m_settings->fileName();
}
