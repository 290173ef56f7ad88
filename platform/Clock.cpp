#include "platform/Clock.h"

#include <chrono>
#include <thread>

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

void SystemClock::sleepMicroseconds(qint64 microseconds)
{
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}
