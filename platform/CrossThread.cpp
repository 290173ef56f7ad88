#include "platform/CrossThread.h"

#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// Held by the sender while it queues, taken by the receiver before it
// reads anything the sender wrote.
std::mutex &handoff()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

namespace CrossThread {

void post(QObject *target, std::function<void()> work)
{
    std::lock_guard lock(handoff());
    QMetaObject::invokeMethod(
        target,
        [work = std::move(work)] {
            { std::lock_guard seen(handoff()); }
            work();
        },
        Qt::QueuedConnection);
}

void runBlocking(QObject *target, const std::function<void()> &work)
{
    if (QThread::currentThread() == target->thread()) {
        work();
        return;
    }
    struct Done {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    post(target, [done, &work] {
        work();
        {
            std::lock_guard lock(done->mutex);
            done->done = true;
        }
        done->changed.notify_all();
    });
    std::unique_lock lock(done->mutex);
    done->changed.wait(lock, [&] { return done->done; });
}

} // namespace CrossThread
