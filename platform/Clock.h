#pragma once

#include <QDateTime>

// The time of day and the pauses of the application, scripted in tests.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual QDateTime now() const = 0;
    virtual void sleepMicroseconds(qint64 microseconds) = 0;
};

class SystemClock final : public Clock {
public:
    [[nodiscard]] QDateTime now() const override;
    void sleepMicroseconds(qint64 microseconds) override;
};
