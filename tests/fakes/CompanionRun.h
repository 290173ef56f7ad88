#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One run of the built lumora-loginctl, as the black-box tests of the
// companion make it: the direct back end, a home of the test's own, and
// the volume either named by LUMORA_SYSTEM_ROOT or left to the arguments.
struct CompanionRun {
    int exitCode = -1; // -1: it crashed or ran out of time
    QString out;
    QString err;
};

struct CompanionSetup {
    QString tool;      // the built lumora-loginctl
    QString home;      // HOME; the XDG folders go below it
    QString resources; // LUMORA_RESOURCES
    QString root;      // LUMORA_SYSTEM_ROOT; empty: not set
};

// The environment runCompanion() gives the companion, for a test that starts
// it itself.
[[nodiscard]] QProcessEnvironment companionEnvironment(const CompanionSetup &setup);

[[nodiscard]] CompanionRun runCompanion(const CompanionSetup &setup, const QStringList &arguments);
