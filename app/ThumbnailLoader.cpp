#include "app/ThumbnailLoader.h"

#include "platform/CrossThread.h"

ThumbnailLoader::ThumbnailLoader(QObject *parent) : QObject(parent) {}

ThumbnailLoader::~ThumbnailLoader()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_job.reset();
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
    // A result already queued is removed with this object.
}

void ThumbnailLoader::request(const Image &image, QSize bounds)
{
    const quint64 generation = ++m_generation;
    m_waiting = true;
    {
        std::lock_guard lock(m_mutex);
        m_job = Job{generation, image, bounds};
    }
    // Started with the first picture: a well that never shows one needs no thread.
    if (!m_worker.joinable())
        m_worker = std::thread([this] { work(); });
    m_wake.notify_one();
}

void ThumbnailLoader::cancel()
{
    ++m_generation;
    m_waiting = false;
    std::lock_guard lock(m_mutex);
    m_job.reset();
}

void ThumbnailLoader::work()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_job.has_value(); });
            if (m_stopping)
                return;
            job = std::move(*m_job);
            m_job.reset();
        }
        QImage thumbnail = job.image.thumbnail(job.bounds);
        std::lock_guard lock(m_mutex);
        // A newer request waiting means this result would only flicker by.
        if (m_stopping || m_job)
            continue;
        // Posted under the lock, so the destructor cannot pass in between.
        CrossThread::post(this, [this, generation = job.generation, image = std::move(job.image),
                                 thumbnail = std::move(thumbnail)] { deliver(generation, image, thumbnail); });
    }
}

void ThumbnailLoader::deliver(quint64 generation, const Image &image, const QImage &thumbnail)
{
    if (generation != m_generation)
        return;
    m_waiting = false;
    emit loaded(image, thumbnail);
}
