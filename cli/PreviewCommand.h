#pragma once

#include "cli/CommandLine.h"
#include "controller/LumoraLogin.h"

#include <QSize>
#include <QString>

#include <cstdio>

// `preview`: the look `set` with the same inputs would give, drawn into a
// PNG at `output`. The controller loads the volume and takes the inputs
// through the same setters as `set`, but nothing is saved: no staging
// folder, no authorization, no file on the volume. Hints go to `err`.
// Returns 0, or 1 when the picture could not be drawn or written.
[[nodiscard]] int runPreview(LumoraContext context, const SetInputs &inputs, const QString &output, QSize screen,
                             std::FILE *out = stdout, std::FILE *err = stderr);
