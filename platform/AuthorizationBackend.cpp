#include "platform/AuthorizationBackend.h"

#include "platform/DirectAuthorizationService.h"
#include "platform/SudoAuthorizationService.h"

#include <QByteArray>

#include <cstdlib>
#include <unistd.h>

QString authorizationBackendName()
{
    const QByteArray chosen = qgetenv("LUMORA_AUTH");
    if (chosen == "sudo")
        return QStringLiteral("sudo");
    if (chosen == "direct" || ::geteuid() == 0)
        return QStringLiteral("direct");
    return QStringLiteral("sudo");
}

std::unique_ptr<AuthorizationService> makeAuthorizationService(PasswordPrompt *prompt)
{
    if (authorizationBackendName() == QLatin1String("direct"))
        return std::make_unique<DirectAuthorizationService>();
    return std::make_unique<SudoAuthorizationService>(prompt);
}
