#include "controller/PreviewSources.h"

#include "controller/LumoraLogin.h"
#include "controller/SettingModel.h"

LookSources previewSources(const LumoraLogin &controller)
{
    LookSources sources;
    for (const SettingModel *model : settingModels())
        model->preview(settingView(controller.document(), controller.context().volume, model->setting()), sources);
    return sources;
}

void previewLoginOptions(const LumoraLogin &controller, LookSources &sources)
{
    for (const SettingModel *model : settingModels()) {
        if (model->loginOption())
            model->preview(settingView(controller.document(), controller.context().volume, model->setting()), sources);
    }
}
