#pragma once

#include "update/VersionChecker.h"

#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// One launch check on its own thread. Destroying it stops the check
// (kills the download, abandons a panel not yet shown) and joins the thread,
// so nothing runs once the owner is gone.
class UpdateCheckThread {
public:
    // `onFinished`, when given, is called on the worker as its last act,
    // also after a cancel.
    UpdateCheckThread(VersionChecker checker, QVariantMap options, std::function<void()> onFinished = {});
    ~UpdateCheckThread();
    UpdateCheckThread(const UpdateCheckThread &) = delete;
    UpdateCheckThread &operator=(const UpdateCheckThread &) = delete;

    [[nodiscard]] bool isFinished() const;
    // Stops the check without waiting for its thread: a running download
    // is killed, its folder removed, and a panel not yet shown is dropped.
    void cancel();
    // Waits for the check to end by itself.
    void join();

private:
    std::shared_ptr<UpdateCheck::Cancellation> m_cancellation;
    std::shared_ptr<std::atomic<bool>> m_finished;
    std::thread m_thread;
};
