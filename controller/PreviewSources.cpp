#include "controller/PreviewSources.h"

#include "controller/LumoraLogin.h"

LookSources previewSources(const LumoraLogin &controller)
{
    LookSources sources;
    sources.logo = {controller.logo(), controller.logoDirty()};
    sources.title = {controller.title(), controller.titleDirty()};
    // Restoring the default look on 10.3 puts the release's own picture
    // back untouched; everywhere else Save writes the picture as a JPEG.
    const bool rewritten = controller.backgroundDirty()
                           && (!controller.shouldRevertBackground() || controller.isTiger());
    sources.background = {controller.background(), rewritten};
    sources.message = controller.message().value_or(QString());
    sources.hostInfoTag = controller.hostInfoTag();
    return sources;
}
