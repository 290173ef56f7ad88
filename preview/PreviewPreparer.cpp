#include "preview/PreviewPreparer.h"

#include "preview/LoginScreenRenderer.h"

#include <QMetaObject>

#include <algorithm>

PreviewPreparer::PreviewPreparer(QObject *parent) : QObject(parent)
{
    // The machines this runs on may have two cores; the GUI keeps one.
    m_pool.setMaxThreadCount(2);
}

PreviewPreparer::~PreviewPreparer()
{
    m_stopping = true;
    m_pool.waitForDone();
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

    // Only pixels and paths cross to the job: an Image decodes lazily and
    // is not for two threads. A file shown as it is gets decoded by the
    // job from its path; a new picture was decoded when it was checked.
    QString path;
    QImage pixels = ready;
    const bool asSaved = slot.asSaved && ready.isNull();
    if (ready.isNull()) {
        if (!slot.asSaved && !slot.image.path().isEmpty())
            path = slot.image.path();
        else
            pixels = slot.image.pixels();
    }
    const QSize screen = m_screen;
    m_pool.start([this, which, generation, path, pixels, asSaved, screen] {
        m_jobsStarted.fetch_add(1);
        auto stale = [this, which, generation] {
            return m_stopping.load() || m_generations[index(which)].load() != generation;
        };
        if (stale())
            return;
        QImage picture = path.isEmpty() ? pixels : Image::referencingFile(path).pixels();
        if (stale())
            return;
        if (asSaved)
            picture = SavedPictures::asSaved(picture, which);
        if (stale())
            return;
        QImage filled;
        if (which == Picture::Background)
            filled = LoginScreenRenderer::fillScaled(picture, screen);
        QMetaObject::invokeMethod(
            this, [this, which, generation, picture, filled] { deliver(which, generation, picture, filled); },
            Qt::QueuedConnection);
    });
}

void PreviewPreparer::deliver(Picture which, quint64 generation, const QImage &prepared, const QImage &filled)
{
    Slot &slot = m_slots[index(which)];
    if (generation != slot.generation)
        return; // superseded while on its way
    slot.pending = false;
    slot.prepared = prepared;
    if (which == Picture::Background)
        m_filled = filled;
    emit picturesChanged();
}
