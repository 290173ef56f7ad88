#pragma once

#include "platform/Clock.h"

#include <QList>
#include <QTimeZone>

#include <mutex>

// A clock that stands still until told otherwise and records the pauses
// it is asked for instead of sleeping.
class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc()))
        : m_now(std::move(now))
    {
    }
    [[nodiscard]] QDateTime now() const override
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    void sleepMicroseconds(qint64 microseconds) override
    {
        std::lock_guard lock(m_mutex);
        m_sleeps.append(microseconds);
    }
    void setNow(const QDateTime &now)
    {
        std::lock_guard lock(m_mutex);
        m_now = now;
    }
    [[nodiscard]] QList<qint64> sleeps() const
    {
        std::lock_guard lock(m_mutex);
        return m_sleeps;
    }

private:
    mutable std::mutex m_mutex;
    QDateTime m_now;
    QList<qint64> m_sleeps;
};
