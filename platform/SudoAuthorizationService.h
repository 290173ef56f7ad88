#pragma once

#include "platform/AuthorizationService.h"

#include <QString>

class PasswordPrompt;

// Administrator rights through sudo. The right is sudo's own cached
// credential: "sudo -n -v" tests it without asking, "sudo -S -p '' -v" fed
// with the password from our own prompt obtains it, "sudo -n -- TOOL ARGS"
// runs a tool with it, and "sudo -k" destroys it. The password travels only
// through a pipe to sudo's standard input and is wiped after use.
class SudoAuthorizationService final : public AuthorizationService {
public:
    explicit SudoAuthorizationService(PasswordPrompt *prompt, QString sudoPath = QStringLiteral("/usr/bin/sudo"));

    std::int32_t create(std::uint32_t flags) override;
    std::int32_t copyRights(const std::vector<RightsItem> &items, std::uint32_t flags) override;
    std::int32_t executeWithPrivileges(const QByteArray &toolPath, std::uint32_t options,
                                       const std::vector<QByteArray> &arguments, std::int64_t *pid, const Streams &streams) override;
    void free(std::uint32_t flags) override;

    [[nodiscard]] const QString &sudoPath() const { return m_sudoPath; }

private:
    [[nodiscard]] bool sudoAvailable() const;

    PasswordPrompt *m_prompt = nullptr;
    QString m_sudoPath;
};
