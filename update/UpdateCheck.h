#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

namespace UpdateCheck {

// Seconds that must have passed since the last check before the launch
// check runs again (strictly more than this).
inline constexpr qint64 kMinimumInterval = 259200;

// What one check may cost. The defaults are the application's; tests
// shorten the time.
struct Limits {
    // The whole fetch of the version list, both addresses together: a check
    // has its outcome within this however the servers behave.
    std::chrono::milliseconds downloadTimeout{30000};
    qint64 maxBytes = 1024 * 1024;
};

// Shared between a running check and whoever may have to stop it. Once
// cancelled, the check shows nothing more, stores nothing and ends soon:
// a running download is killed and a panel request is abandoned.
class Cancellation {
public:
    void cancel();
    [[nodiscard]] bool isCancelled() const;
    // Waits until `ready` returns true or the check is cancelled; false
    // when cancelled. `ready` is evaluated under the lock that notify()
    // takes, so whatever it reads must be set inside notify().
    [[nodiscard]] bool waitUntil(const std::function<bool()> &ready);
    void notify(const std::function<void()> &update);
    // Sleeps for `duration` unless cancelled meanwhile; false when cancelled.
    [[nodiscard]] bool sleepFor(std::chrono::milliseconds duration);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_cancelled = false;
};

// The text stored under "Last version check date": local time of the
// clock, "YYYY-MM-DD HH:MM:SS ±HHMM".
[[nodiscard]] QString dateText(const QDateTime &moment);
// That text read back; nothing when it is not in that form.
[[nodiscard]] std::optional<QDateTime> dateFromText(const QString &text);

// Fills each "%@" of a format with the next value, literally ("%%" is a
// percent sign); values are never scanned for markers themselves.
[[nodiscard]] QString fillFormat(const QString &format, const QStringList &values);

} // namespace UpdateCheck
