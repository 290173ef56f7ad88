#include "preview/PreviewPreparer.h"

#include "preview/LoginScreenRenderer.h"

#include <QMetaObject>

#include <algorithm>

namespace {

// The machines this runs on may have two cores; the GUI keeps one.
constexpr int kWorkers = 2;

} // namespace

PreviewPreparer::PreviewPreparer(QObject *parent) : QObject(parent)
{
    for (int i = 0; i < kWorkers; ++i)
        m_workers.emplace_back([this] { work(); });
}

PreviewPreparer::~PreviewPreparer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

bool PreviewPreparer::isBusy() const
{
    return std::any_of(m_slots.begin(), m_slots.end(), [](const Slot &slot) { return slot.pending; });
}

void PreviewPreparer::setPicture(Picture which, const PictureSource &source)
{
    Slot &slot = m_slots[index(which)];
    if (slot.set && slot.image.isSameAs(source.image) && slot.asSaved == source.asSaved)
        return;
    slot.image = source.image;
    slot.asSaved = source.asSaved;
    slot.set = true;
    submit(which);
}

void PreviewPreparer::setScreenSize(QSize screen)
{
    if (screen == m_screen)
        return;
    m_screen = screen;
    const Slot &slot = m_slots[index(Picture::Background)];
    if (!slot.set)
        return;
    // The background prepared already needs only scaling to the new size.
    submit(Picture::Background, slot.pending ? QImage() : slot.prepared);
}

void PreviewPreparer::submit(Picture which, const QImage &ready)
{
    Slot &slot = m_slots[index(which)];
    const quint64 generation = ++slot.generation;
    m_generations[index(which)] = generation;
    slot.pending = true;

    // Only pixels and paths cross to the workers: an Image decodes lazily
    // and is not for two threads. A file not decoded yet is decoded by the
    // worker from its path (a volume's background may take seconds); a new
    // picture was decoded when it was checked.
    Job job{which, generation, {}, ready, slot.asSaved && ready.isNull(), m_screen};
    if (ready.isNull()) {
        if (!slot.image.path().isEmpty() && (!slot.asSaved || !slot.image.isDecoded()))
            job.path = slot.image.path();
        else
            job.pixels = slot.image.pixels();
    }
    {
        std::lock_guard lock(m_mutex);
        // A job for the same picture still waiting is superseded.
        m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(), [which](const Job &j) { return j.which == which; }),
                     m_jobs.end());
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void PreviewPreparer::work()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        run(std::move(job));
    }
}

void PreviewPreparer::run(Job job)
{
    m_jobsStarted.fetch_add(1);
    const std::size_t i = index(job.which);
    auto stale = [this, i, &job] {
        if (m_generations[i].load() != job.generation)
            return true;
        std::lock_guard lock(m_mutex);
        return m_stopping;
    };
    // Between the steps, a newer picture or the end of the preparer stops
    // the job; a step itself runs to its end.
    if (stale())
        return;
    QImage picture = job.path.isEmpty() ? job.pixels : Image::referencingFile(job.path).pixels();
    if (stale())
        return;
    if (job.asSaved)
        picture = SavedPictures::asSaved(picture, job.which);
    if (stale())
        return;
    QImage filled;
    if (job.which == Picture::Background)
        filled = LoginScreenRenderer::fillScaled(picture, job.screen);
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_results.push_back({job.which, job.generation, std::move(picture), std::move(filled)});
    }
    QMetaObject::invokeMethod(this, &PreviewPreparer::collect, Qt::QueuedConnection);
}

void PreviewPreparer::collect()
{
    std::vector<Result> results;
    {
        std::lock_guard lock(m_mutex);
        results.swap(m_results);
    }
    bool changed = false;
    for (Result &result : results) {
        Slot &slot = m_slots[index(result.which)];
        if (result.generation != slot.generation)
            continue; // superseded while on its way
        slot.pending = false;
        slot.prepared = std::move(result.prepared);
        if (result.which == Picture::Background)
            m_filled = std::move(result.filled);
        changed = true;
    }
    if (changed)
        emit picturesChanged();
}
