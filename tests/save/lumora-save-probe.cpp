// lumora-loginctl for the tests of stopped saves: the same command line,
// controller and stop-signal handling, on the recording runner instead of a
// real back end, so that one tool run can be a fake that stops half-way or
// waits for the test (LUMORA_PROBE_HOLD: a pattern of the run,
// LUMORA_PROBE_WRAPPER: the fake).

#include "cli/CommandLine.h"
#include "cli/ConsolePanels.h"
#include "cli/LoginCtl.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Interruption.h"
#include "platform/UserDefaults.h"
#include "platform/Volume.h"
#include "privileged/Authorization.h"
#include "tests/fakes/RecordingAuthorizationService.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Interruption::install();
    const CtlParse parsed = parseCommandLine(app.arguments().mid(1));
    if (!parsed.request)
        return LoginCtl::kUsage;
    const SetInputsCheck check = readSetInputs(*parsed.request);
    if (!check.inputs)
        return LoginCtl::kUsage;

    auto service = std::make_unique<RecordingAuthorizationService>();
    service->setRightsHeld(true);
    if (qEnvironmentVariableIsSet("LUMORA_PROBE_HOLD")) {
        service->substituteOnce(QRegularExpression(qEnvironmentVariable("LUMORA_PROBE_HOLD")),
                                qEnvironmentVariable("LUMORA_PROBE_WRAPPER"));
    }
    int status = LoginCtl::kSuccess;
    {
        UserDefaults defaults;
        ConsoleAlertPanel alerts;
        ConsoleWorkspace workspace;
        SystemClock clock;
        Authorization authorization(std::move(service), &alerts);
        LoginCtl ctl(LumoraContext{Volume::fromEnvironment(), Bundle::fromApplication(), &defaults, &alerts,
                                   &workspace, &clock, &authorization});
        status = parsed.request->command == CtlRequest::Command::Restore ? ctl.restore({}) : ctl.set(*check.inputs, {});
    }
    if (const int signal = Interruption::requested())
        Interruption::leaveBySignal(signal);
    return status;
}
