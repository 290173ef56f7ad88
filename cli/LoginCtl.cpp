#include "cli/LoginCtl.h"

#include "cli/ConsolePanels.h"
#include "controller/SettingModel.h"
#include "platform/PasswordPrompt.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

LoginCtl::LoginCtl(LumoraContext context, std::FILE *out, std::FILE *err)
    : m_controller(std::move(context)), m_out(out), m_err(err)
{
    // What the window does at launch, less the timed update check: a
    // scripted tool must not reach the network on its own.
    m_controller.attachFrontEnd(&m_view, LumoraLogin::LaunchCheck::Skip);
}

void LoginCtl::print(const QString &text) const
{
    writeText(m_out, text + QLatin1Char('\n'));
}

void LoginCtl::complain(const QString &text) const
{
    writeText(m_err, QStringLiteral("lumora-loginctl: ") + text + QLatin1Char('\n'));
}

bool LoginCtl::refuseUnreadable(const QString &reason) const
{
    if (reason.isEmpty())
        return false;
    complain(reason);
    return true;
}

int LoginCtl::show(bool json)
{
    const LumoraLogin &c = m_controller;
    // The stock values loaded in their place are not what the volume holds.
    if (refuseUnreadable(c.unreadableReason()))
        return kFailed;
    const LumoraContext &context = c.context();
    const auto release = LoginWindow::systemRelease(context.volume);

    if (json) {
        QJsonObject root{
            {QStringLiteral("volume"), context.volume.displayName()},
            {QStringLiteral("release"), release ? QJsonValue(*release) : QJsonValue()},
        };
        QJsonObject loginOptions;
        for (const SettingModel *model : settingModels()) {
            if (model->loginOption())
                loginOptions.insert(model->key(), model->json(settingView(c.document(), context.volume, model->setting())));
            else
                root.insert(model->key(), model->json(settingView(c.document(), context.volume, model->setting())));
        }
        root.insert(QStringLiteral("loginOptions"), loginOptions);
        writeText(m_out, QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)));
        return kSuccess;
    }

    print(QStringLiteral("volume: ") + context.volume.displayName());
    print(QStringLiteral("release: ") + release.value_or(QStringLiteral("unknown")));
    for (const SettingModel *model : settingModels())
        print(model->option() + QStringLiteral(": ")
              + model->text(settingView(c.document(), context.volume, model->setting())));
    return kSuccess;
}

int LoginCtl::set(const SetInputs &inputs, ApplyOptions options)
{
    Expected expected;
    // The same setters as the window's controls, each marking its own flag;
    // settings not asked for keep their flags clear and are not saved.
    for (const SettingModel *model : settingModels()) {
        if (const auto &value = inputs.values[indexOf(model->setting())]) {
            m_controller.document().setValue(model->setting(), *value);
            expected.values[indexOf(model->setting())] = *value;
        }
    }
    return apply(expected, options);
}

int LoginCtl::restore(ApplyOptions options)
{
    m_controller.defaults();
    Expected expected;
    for (const SettingModel *model : settingModels())
        expected.values[indexOf(model->setting())] = m_controller.document().value(model->setting());
    expected.revertBackground = true;
    return apply(expected, options);
}

int LoginCtl::saveAndVerify(const Expected &expected, QHash<QString, QString> &results,
                            const LumoraLogin::LockedDecision &decide)
{
    const SaveReport report = m_controller.save(decide);
    if (report.stoppedUnderLock)
        return kFailed;
    if (report.anotherSaveRunning) {
        complain(QCoreApplication::translate("LoginCtl", "another copy of Lumora Login is saving (it holds %1); nothing was saved")
                     .arg(report.busyLock));
        return kFailed;
    }

    if (report.declined == SaveReport::Declined::Cancelled)
        complain(QCoreApplication::translate("LoginCtl", "no administrator password was given; nothing more was written"));
    else if (report.declined == SaveReport::Declined::WrongPassword)
        complain(QCoreApplication::translate("LoginCtl", "the administrator password was wrong %1 times; nothing more was written")
                     .arg(PasswordPrompt::kTries));

    // After the save the controller holds what the volume holds (Save
    // reloads); each requested setting is compared with what was asked.
    int status = kSuccess;
    for (const SettingModel *model : settingModels()) {
        const auto &requested = expected.values[indexOf(model->setting())];
        if (!requested)
            continue;
        const QString name = model->name();
        if (report.failed.contains(name) || !report.attempted.contains(name)) {
            complain(QCoreApplication::translate("LoginCtl", "%1: not saved").arg(name));
            results.insert(name, QStringLiteral("failed"));
            status = kFailed;
        } else if (!model->readsBack(settingView(m_controller.document(), m_controller.context().volume, model->setting()),
                                    *requested, expected.revertBackground)) {
            complain(QCoreApplication::translate("LoginCtl", "%1: saved, but the volume does not read back as requested").arg(name));
            results.insert(name, QStringLiteral("failed"));
            status = kFailed;
        } else {
            results.insert(name, QStringLiteral("saved"));
        }
    }
    return status;
}

int LoginCtl::checkUpdates(const ConsoleAlertPanel &panels)
{
    m_controller.checkForUpdates();
    const QString failure = QCoreApplication::translate("Lumora", "Unable to check for updates");
    if (panels.titles().isEmpty()) {
        complain(QCoreApplication::translate("LoginCtl", "the update check told nothing"));
        return kFailed;
    }
    return panels.titles().contains(failure) ? kFailed : kSuccess;
}
