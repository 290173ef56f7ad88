#pragma once

#include "preview/SavedPictures.h"

class LumoraLogin;

// What a preview of the document draws from: each picture the user changed
// shown as Save will write it, the others as the volume holds them.
[[nodiscard]] LookSources previewSources(const LumoraLogin &controller);

// Only the login options of the sources: cheap enough for every redraw.
void previewLoginOptions(const LumoraLogin &controller, LookSources &sources);
