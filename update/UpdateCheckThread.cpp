#include "update/UpdateCheckThread.h"

UpdateCheckThread::UpdateCheckThread(VersionChecker checker, QVariantMap options, std::function<void()> onFinished)
    : m_cancellation(std::make_shared<UpdateCheck::Cancellation>()),
      m_finished(std::make_shared<std::atomic<bool>>(false))
{
    checker.setCancellation(m_cancellation);
    m_thread = std::thread([checker = std::move(checker), options = std::move(options), finished = m_finished,
                            onFinished = std::move(onFinished)]() mutable {
        checker.checkForUpdatesWithOptions(options);
        finished->store(true);
        if (onFinished)
            onFinished();
    });
}

UpdateCheckThread::~UpdateCheckThread()
{
    m_cancellation->cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void UpdateCheckThread::cancel()
{
    m_cancellation->cancel();
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
