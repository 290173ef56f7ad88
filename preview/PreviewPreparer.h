#pragma once

#include "preview/SavedPictures.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Prepares the pictures of a live preview off the calling thread: decodes
// them, encodes new ones as Save will and decodes them back, and scales the
// background to the screen. A newer picture supersedes an older one still
// being prepared: the older job stops at its next step and its result is
// dropped. Results arrive on the thread that owns the preparer, followed by
// picturesChanged().
class PreviewPreparer : public QObject {
    Q_OBJECT
public:
    explicit PreviewPreparer(QObject *parent = nullptr);
    // Stops the jobs at their next step and waits for them.
    ~PreviewPreparer() override;

    // Nothing happens for the picture and mode already set.
    void setPicture(Picture which, const PictureSource &source);
    void setScreenSize(QSize screen);
    [[nodiscard]] QSize screenSize() const { return m_screen; }

    // The last prepared picture (kept while a newer one is on its way).
    [[nodiscard]] QImage picture(Picture which) const { return m_slots[index(which)].prepared; }
    // The background fill-scaled to the size it was prepared for.
    [[nodiscard]] QImage filledBackground() const { return m_filled; }
    [[nodiscard]] bool isBusy() const;

    // Jobs a worker began (a job superseded while queued never begins).
    [[nodiscard]] int jobsStarted() const { return m_jobsStarted.load(); }

signals:
    void picturesChanged();

private:
    struct Slot {
        Image image;
        bool asSaved = false;
        bool set = false;
        bool pending = false;
        quint64 generation = 0;
        QImage prepared;
    };
    struct Job {
        Picture which;
        quint64 generation;
        QString path;  // decode this file...
        QImage pixels; // ...or take these
        bool asSaved;
        QSize screen;
    };
    struct Result {
        Picture which;
        quint64 generation;
        QImage prepared;
        QImage filled;
    };
    static constexpr std::size_t index(Picture which) { return std::size_t(which); }
    void submit(Picture which, const QImage &ready = QImage());
    void work();
    void run(Job job);
    void collect();

    std::array<Slot, 3> m_slots;
    QImage m_filled;
    QSize m_screen{1024, 768};
    // Read by the workers; written on the owner's thread only.
    std::array<std::atomic<quint64>, 3> m_generations{};
    std::atomic<int> m_jobsStarted{0};
    // Jobs in, results out, and the stop, under one lock.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    std::vector<Result> m_results;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};
