#pragma once

#include "platform/AuthorizationService.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class AlertPanel;

// The one place where administrator rights are obtained and used. It holds
// the process's authorization reference, asks for the password only when
// the right is not already held, and runs one tool at a time, waiting for
// that tool's own process.
class Authorization : public QObject {
    Q_OBJECT
public:
    Authorization(std::unique_ptr<AuthorizationService> service, AlertPanel *alerts,
                  QObject *parent = nullptr);
    ~Authorization() override; // deauthenticates

    // The process-wide runner. install() is called once from main; tests
    // make their own Authorization objects instead.
    static Authorization &sharedInstance();
    static void install(std::unique_ptr<Authorization> shared);
    // Frees the reference and destroys its rights (called at quit).
    static void releaseShared();

    [[nodiscard]] bool isAuthenticatedForTool(const QString &tool1, const std::optional<QString> &tool2);
    [[nodiscard]] bool haveUserAuthenticateForTool(const QString &tool1, const std::optional<QString> &tool2);
    [[nodiscard]] bool authenticateForTool(const QString &tool1, const std::optional<QString> &tool2);
    void deauthenticate();

    // One save is one run of requests: once the user cancels the password
    // dialog or gives a wrong password on every try, no later request of
    // the run asks again; each fails at once. Outside a run every request
    // may ask. endRequestRun() gives the status that ended the asking
    // (AuthorizationService::kCanceled or kDenied), kSuccess when none did.
    void beginRequestRun();
    std::int32_t endRequestRun();

    // True only when the rights were held, the tool was launched, and it
    // exited with status 0.
    [[nodiscard]] bool executeTool(const QString &tool, const std::optional<QString> &arg1,
                                   const std::optional<QString> &arg2,
                                   const std::optional<QString> &arg3,
                                   const std::optional<QString> &arg4);
    [[nodiscard]] bool executeTool(const QString &tool, const std::optional<QString> &arg1,
                                   const std::optional<QString> &arg2,
                                   const std::optional<QString> &arg3);

    // The same with any number of arguments, each passed as one argument,
    // and the tool's standard input and output from files the caller opened.
    [[nodiscard]] bool executeTool(const QString &tool, const QStringList &arguments,
                                   const AuthorizationService::Streams &streams = {});
    // Runs a tool with the user's own rights, waits for it and logs its
    // failure in the same words as executeTool.
    // A quiet run logs nothing and discards what the tool prints.
    [[nodiscard]] static bool runAsUser(const QString &tool, const QStringList &arguments,
                                        const AuthorizationService::Streams &streams = {}, bool quiet = false);

    void displayExecutionErrorAlert(std::int32_t status);

    [[nodiscard]] bool hasReference() const { return m_hasReference; }
    [[nodiscard]] AuthorizationService &service() { return *m_service; }

signals:
    void UserAuthenticatedNotification(Authorization *sender);
    void UserDeauthenticatedNotification(Authorization *sender);

private:
    std::unique_ptr<AuthorizationService> m_service;
    AlertPanel *m_alerts = nullptr;
    bool m_hasReference = false;
    // The answer to the last request that may ask the user.
    std::int32_t m_lastRequest = AuthorizationService::kSuccess;
    bool m_inRequestRun = false;
    // Within a run: the answer that ended the asking.
    std::int32_t m_declined = AuthorizationService::kSuccess;
};
