#pragma once

#include "platform/AlertPanel.h"
#include "platform/PlatformServices.h"
#include "update/UpdateCheck.h"

#include <QObject>

#include <functional>
#include <memory>

class UpdateCheckThread;

// The user's Check for Updates… off the GUI thread: forced (the three-day
// interval does not apply) and telling every outcome in its panel, like
// the launch check's worker brings its panels to the GUI thread. Cancel
// ends it at once: the download is killed and nothing more is shown or
// stored.
class ManualUpdateCheck : public QObject {
    Q_OBJECT
public:
    explicit ManualUpdateCheck(const PlatformServices &services, UpdateCheck::Limits limits = {},
                               QObject *parent = nullptr);
    // Cancels a check under way and waits for its thread.
    ~ManualUpdateCheck() override;

    // False when a check is already running.
    bool start();
    void cancel();
    [[nodiscard]] bool isRunning() const { return bool(m_thread); }

signals:
    // On the GUI thread, just before the check shows its result panel.
    void resultReady();
    // On the GUI thread, when the check has ended (after its panel was
    // dismissed), or at once after cancel().
    void finished(bool cancelled);

private:
    // Passes panels on, saying first that the result is there.
    class Panels final : public AlertPanel {
    public:
        Panels(AlertPanel *target, std::function<void()> before) : m_target(target), m_before(std::move(before)) {}
        int runAlert(const QString &title, const QString &message, const QString &defaultButton,
                     const QString &alternateButton, const QString &otherButton) override;
        int runInformation(const QString &title, const QString &message, const QString &defaultButton,
                           const QString &alternateButton) override;
        void showAddress(const QString &title, const QString &message, const QString &address,
                         const QString &button) override;
        void beep() override;
        void activateApplication() override;

    private:
        AlertPanel *m_target;
        std::function<void()> m_before;
    };

    void threadDone();

    PlatformServices m_services;
    UpdateCheck::Limits m_limits;
    Panels m_panels;
    std::unique_ptr<UpdateCheckThread> m_thread;
    // Cancelled checks whose threads have not ended yet; joined when they do.
    std::vector<std::unique_ptr<UpdateCheckThread>> m_stopping;
};
