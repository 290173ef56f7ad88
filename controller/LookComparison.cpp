// Whether the document's marked settings already hold on the volume: the
// document is compared, not the request, so Restore's stock look is judged
// by whatever defaults() filled in.

#include "controller/LookComparison.h"

#include "controller/LumoraLogin.h"
#include "controller/SettingModel.h"

QList<MarkedSetting> compareMarkedSettings(const LumoraLogin &controller)
{
    const SettingsDocument &document = controller.document();
    QList<MarkedSetting> settings;
    for (const SettingModel *model : settingModels()) {
        if (document.changed(model->setting()))
            settings.append({model->setting(), model->name(),
                             model->compare(settingView(document, controller.context().volume, model->setting()))});
    }
    return settings;
}

int unmarkSettingsThatHold(LumoraLogin &controller, const QList<MarkedSetting> &settings)
{
    int marked = 0;
    for (const MarkedSetting &setting : settings) {
        if (setting.comparison.holds)
            controller.document().setChanged(setting.setting, false);
        else
            ++marked;
    }
    return marked;
}
