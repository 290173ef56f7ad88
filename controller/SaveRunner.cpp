#include "controller/SaveRunner.h"

#include "platform/Log.h"

// Keeps the lines written while it lives and passes each on to the sink
// that was there before (the terminal and syslog, or a test's capture).
class SaveRunner::Collector {
public:
    Collector()
    {
        m_previous = Log::setSink([this](const QString &line) {
            {
                std::lock_guard lock(m_mutex);
                m_lines.append(line);
            }
            if (m_previous)
                m_previous(line);
            else
                Log::defaultSink()(line);
        });
    }
    ~Collector() { Log::setSink(std::move(m_previous)); }
    Collector(const Collector &) = delete;
    Collector &operator=(const Collector &) = delete;

    [[nodiscard]] QStringList lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    Log::Sink m_previous;
};

SaveRunner::SaveRunner(LumoraLogin &controller, QObject *parent) : QObject(parent), m_controller(controller) {}

SaveRunner::~SaveRunner()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool SaveRunner::start()
{
    if (m_running)
        return false;
    m_running = true;
    m_collector = std::make_unique<Collector>();
    m_thread = std::thread([this] {
        m_report = m_controller.save();
        QMetaObject::invokeMethod(this, &SaveRunner::workerDone, Qt::QueuedConnection);
    });
    return true;
}

void SaveRunner::workerDone()
{
    m_thread.join();
    const QStringList lines = m_collector->lines();
    m_collector.reset();
    m_running = false;
    emit finished(m_report, lines);
}
