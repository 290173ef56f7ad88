#include "platform/UserDefaults.h"

#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QSysInfo>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// QSettings guards its file with QLockFile "FILE.lock", which a process
// killed between making it and writing its number into it leaves empty; the
// next writer would then wait half a minute before it calls it stale. The
// live holder of such a file always has the kernel's lock on it as well, so
// one we can lock ourselves, that names no other machine, is left over and
// goes at once.
void removeDeadLock(const QString &settingsFile)
{
    const QByteArray path = QFile::encodeName(settingsFile + QStringLiteral(".lock"));
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    struct stat named {};
    char text[1024];
    const ssize_t n = ::pread(fd, text, sizeof text, 0);
    const QList<QByteArray> lines = QByteArray(text, n > 0 ? int(n) : 0).split('\n');
    const QByteArray machine = lines.size() > 2 ? lines.at(2).trimmed() : QByteArray();
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
        && (machine.isEmpty() || machine == QSysInfo::machineHostName().toUtf8())
        && ::lstat(path.constData(), &named) == 0 && named.st_dev == info.st_dev && named.st_ino == info.st_ino)
        (void)::unlink(path.constData());
    ::close(fd);
}

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
    removeDeadLock(m_settings->fileName());
    m_settings->sync();
}

void UserDefaults::setBool(const QString &key, bool value)
{
    setObject(key, value);
}

void UserDefaults::setObjectsSoon(const QVariantMap &values)
{
    {
        std::lock_guard lock(m_mutex);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            m_settings->setValue(it.key(), it.value());
    }
    // The store's own object times the write, so none is left waiting on a
    // store that is gone; QSettings writes what is pending as it goes.
    QTimer::singleShot(0, m_settings.get(), [this] { synchronize(); });
}

void UserDefaults::removeObject(const QString &key)
{
    std::lock_guard lock(m_mutex);
    m_settings->remove(key);
    removeDeadLock(m_settings->fileName());
    m_settings->sync();
}

void UserDefaults::synchronize()
{
    std::lock_guard lock(m_mutex);
    removeDeadLock(m_settings->fileName());
    m_settings->sync();
}

QString UserDefaults::fileName() const
{
    std::lock_guard lock(m_mutex);
    return m_settings->fileName();
}
