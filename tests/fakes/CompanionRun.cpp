#include "tests/fakes/CompanionRun.h"

#include <QProcess>
#include <QProcessEnvironment>

QProcessEnvironment companionEnvironment(const CompanionSetup &setup)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMORA_AUTH"), QStringLiteral("direct"));
    env.insert(QStringLiteral("LUMORA_RESOURCES"), setup.resources);
    env.insert(QStringLiteral("HOME"), setup.home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), setup.home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), setup.home + QStringLiteral("/config"));
    if (setup.root.isEmpty())
        env.remove(QStringLiteral("LUMORA_SYSTEM_ROOT"));
    else
        env.insert(QStringLiteral("LUMORA_SYSTEM_ROOT"), setup.root);
    return env;
}

CompanionRun runCompanion(const CompanionSetup &setup, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(companionEnvironment(setup));
    process.start(setup.tool, arguments);
    CompanionRun result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
