#include "update/UpdateCheckThread.h"

UpdateCheckThread::UpdateCheckThread(VersionChecker checker, QVariantMap options)
    : m_cancellation(std::make_shared<UpdateCheck::Cancellation>()),
      m_finished(std::make_shared<std::atomic<bool>>(false))
{
    checker.setCancellation(m_cancellation);
    m_thread = std::thread([checker = std::move(checker), options = std::move(options),
                            finished = m_finished]() mutable {
        checker.checkForUpdatesWithOptions(options);
        finished->store(true);
    });
}

UpdateCheckThread::~UpdateCheckThread()
{
    m_cancellation->cancel();
    if (m_thread.joinable())
        m_thread.join();
}

bool UpdateCheckThread::isFinished() const
{
    return m_finished->load();
}

void UpdateCheckThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}
