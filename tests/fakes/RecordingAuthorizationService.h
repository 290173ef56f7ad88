#pragma once

#include "platform/AuthorizationService.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <mutex>

// An authorization service whose answers are scripted and which records
// every call in order. A launch it allows really runs the tool, as the
// current user, so tests see real file effects and real exit statuses.
class RecordingAuthorizationService final : public AuthorizationService {
public:
    enum class Answer { Grant, Refuse, Cancel }; // answers of the password dialog
    struct Call {
        QString kind;          // "create", "copyRights", "execute", "free"
        std::uint32_t flags = 0;
        QStringList values;    // copyRights: the rights item values (tool paths);
                               // execute: tool path followed by its argument vector
    };

    // Scripting
    // Silent checks succeed while held (default false).
    void setRightsHeld(bool held);
    // Successive password requests (default Grant; Grant makes rights held).
    void scriptInteractive(QList<Answer> answers);
    // Successive launches (default 0 = launch); a non-zero status refuses
    // that launch without running it.
    void scriptLaunchStatus(QList<std::int32_t> statuses);
    // The first launch whose tool and arguments, joined by spaces, match
    // `run` starts `wrapper` instead, with the tool and its arguments as
    // its own arguments (recorded as the tool itself): a fake tool that can
    // stop half-way or wait for the test.
    void substituteOnce(const QRegularExpression &run, const QString &wrapper);

    // Recording
    [[nodiscard]] QList<Call> calls() const;
    // Each launched tool: path followed by its arguments.
    [[nodiscard]] QList<QStringList> runs() const;
    // Interactive copyRights calls.
    [[nodiscard]] int passwordRequests() const;
    [[nodiscard]] int creations() const;
    [[nodiscard]] bool rightsHeld() const;

    std::int32_t create(std::uint32_t flags) override;
    std::int32_t copyRights(const std::vector<RightsItem> &items, std::uint32_t flags) override;
    std::int32_t executeWithPrivileges(const QByteArray &toolPath, std::uint32_t options,
                                       const std::vector<QByteArray> &arguments, std::int64_t *pid, const Streams &streams) override;
    void free(std::uint32_t flags) override;

private:
    mutable std::mutex m_mutex;
    bool m_held = false;
    QList<Answer> m_interactive;
    QList<std::int32_t> m_launchStatuses;
    QRegularExpression m_substituted;
    QString m_wrapper;
    QList<Call> m_calls;
    QList<QStringList> m_runs;
    int m_passwordRequests = 0;
    int m_creations = 0;
};
