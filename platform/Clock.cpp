#include "platform/Clock.h"

#include "platform/Interruption.h"

#include <cerrno>
#include <ctime>

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

void SystemClock::sleepMicroseconds(qint64 microseconds)
{
    // A stop signal ends the pause: the save it belongs to is over.
    timespec left{time_t(microseconds / 1000000), long(microseconds % 1000000) * 1000};
    while (!Interruption::requested() && ::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
