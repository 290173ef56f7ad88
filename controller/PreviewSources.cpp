#include "controller/PreviewSources.h"

#include "controller/LumoraLogin.h"
#include "controller/SettingModel.h"

LookSources previewSources(const LumoraLogin &controller)
{
    LookSources sources;
    for (const SettingModel *model : settingModels())
        model->preview(controller, sources);
    return sources;
}

void previewLoginOptions(const LumoraLogin &controller, LookSources &sources)
{
    for (const SettingModel *model : settingModels()) {
        if (model->loginOption())
            model->preview(controller, sources);
    }
}
