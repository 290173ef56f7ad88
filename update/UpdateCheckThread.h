#pragma once

#include "update/VersionChecker.h"

#include <QVariantMap>

#include <atomic>
#include <memory>
#include <thread>

// One launch check on its own thread. Destroying it stops the check
// (kills the download, abandons a panel not yet shown) and joins the thread,
// so nothing runs once the owner is gone.
class UpdateCheckThread {
public:
    UpdateCheckThread(VersionChecker checker, QVariantMap options);
    ~UpdateCheckThread();
    UpdateCheckThread(const UpdateCheckThread &) = delete;
    UpdateCheckThread &operator=(const UpdateCheckThread &) = delete;

    [[nodiscard]] bool isFinished() const;
    // Waits for the check to end by itself.
    void join();

private:
    std::shared_ptr<UpdateCheck::Cancellation> m_cancellation;
    std::shared_ptr<std::atomic<bool>> m_finished;
    std::thread m_thread;
};
