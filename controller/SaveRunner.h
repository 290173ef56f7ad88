#pragma once

#include "controller/LumoraLogin.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <mutex>
#include <thread>

// Runs the controller's Save on a worker thread, so the window keeps
// drawing through the tools, the password dialog and the pause after the
// host information. The steps run in their order on the worker; the
// password dialog, alerts and the reload that follows reach the GUI thread
// by blocking queued calls. The log lines written meanwhile are kept for
// the window's "Details…".
class SaveRunner : public QObject {
    Q_OBJECT
public:
    explicit SaveRunner(LumoraLogin &controller, QObject *parent = nullptr);
    // Waits for a save under way. The owner must not go away while one
    // runs (the window refuses to close then): the worker may be waiting
    // for the GUI thread.
    ~SaveRunner() override;

    // False when a save is already running; nothing is started then.
    bool start();
    [[nodiscard]] bool isRunning() const { return m_running; }

signals:
    // On the GUI thread, once the worker has ended.
    void finished(const SaveReport &report, const QStringList &logLines);

private:
    class Collector;
    void workerDone();

    LumoraLogin &m_controller;
    bool m_running = false;
    std::thread m_thread;
    std::unique_ptr<Collector> m_collector;
    SaveReport m_report; // written by the worker, read after the join
};
