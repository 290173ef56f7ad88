#pragma once

#include "platform/Image.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Decodes the picture a well shows, at a bounded size, on a thread of its
// own: a background of tens of megapixels takes a second or more, and the
// window must paint meanwhile. Only the latest request counts; a result for
// a picture replaced in the meantime is dropped. Results arrive on the
// loader's thread as loaded().
class ThumbnailLoader final : public QObject {
    Q_OBJECT
public:
    explicit ThumbnailLoader(QObject *parent = nullptr);
    // Waits for the decode under way, if any; a queued one never starts.
    ~ThumbnailLoader() override;

    // Supersedes any earlier request.
    void request(const Image &image, QSize bounds);
    // Drops the request under way, so that no loaded() follows.
    void cancel();
    [[nodiscard]] bool isLoading() const { return m_waiting; }

signals:
    // `image` is the one requested (compare with isSameAs); `thumbnail` is
    // null when it does not decode.
    void loaded(const Image &image, const QImage &thumbnail);

private:
    struct Job {
        quint64 generation = 0;
        Image image;
        QSize bounds;
    };
    void work();
    void deliver(quint64 generation, const Image &image, const QImage &thumbnail);

    quint64 m_generation = 0; // the owner's thread only
    bool m_waiting = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Job> m_job;
    bool m_stopping = false;
    std::thread m_worker;
};
