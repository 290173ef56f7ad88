#include "cli/PreviewCommand.h"

#include "cli/ConsolePanels.h"
#include "controller/MessageView.h"
#include "controller/PreviewSources.h"
#include "preview/LoginScreenRenderer.h"
#include "preview/PreviewFonts.h"
#include "preview/PreviewPng.h"
#include "save/StagingFile.h"

#include <QCoreApplication>

namespace {

constexpr int kSuccess = 0;
constexpr int kFailed = 1;

void complain(std::FILE *err, const QString &text)
{
    writeText(err, QStringLiteral("lumora-loginctl: ") + text + QLatin1Char('\n'));
}

} // namespace

int runPreview(LumoraContext context, const SetInputs &inputs, const QString &output, QSize screen, std::FILE *out,
               std::FILE *err)
{
    // Nothing here saves; make sure nothing could.
    context.authorization = nullptr;
    const Volume volume = context.volume;
    const Clock *clock = context.clock;
    MemoryMessageView view;
    LumoraLogin controller(std::move(context));
    controller.attachFrontEnd(&view, LumoraLogin::LaunchCheck::Skip);
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        if (inputs.values[i])
            controller.document().setValue(Setting(i), *inputs.values[i]);
    }

    const PreviewScene scene = SavedPictures::prepareScene(previewSources(controller), volume, clock);
    LoginScreenRenderer renderer;
    const QImage image = renderer.renderOnce(scene, screen);
    if (!PreviewFonts::loaded())
        complain(err, QCoreApplication::translate("LoginCtl", "warning: the DejaVu fonts are missing from %1; the text is drawn in another font")
                          .arg(QLatin1String(PreviewFonts::kFolder)));
    for (const QString &hint : fitnessHints(renderer.layout(scene, screen)))
        complain(err, QCoreApplication::translate("LoginCtl", "warning: %1").arg(hint));

    if (!StagingFile::writeAtomically(output, PreviewPng::encode(image))) {
        complain(err, QCoreApplication::translate("LoginCtl", "preview: %1 cannot be written").arg(output));
        return kFailed;
    }
    writeText(out, QStringLiteral("preview: %1 (%2x%3)\n").arg(output).arg(screen.width()).arg(screen.height()));
    return kSuccess;
}
