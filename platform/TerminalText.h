#pragma once

#include <QString>

// Text from the volume or the update server on its way to a terminal: a
// control character could move the cursor, retitle the window or worse, so
// each one other than a line break or a tab is shown escaped ("\x1b",
// "\u009b"). Everything else is left exactly as it is.
namespace TerminalText {

[[nodiscard]] QString safe(const QString &text);

} // namespace TerminalText
