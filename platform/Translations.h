#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace Translations {

// The languages the user asked for, most wanted first: the entries of
// LANGUAGE (a colon-separated list), then the locale's: the first of LC_ALL,
// LC_MESSAGES and LANG that is set. "C" and "POSIX" name no language.
[[nodiscard]] QStringList wantedLanguages();

// Installs our catalogue lumora_<language>.qm from `folder` for the first
// wanted language that has one, and Qt's own for the same language. Without
// one the English texts are shown, mended by lumora_en.qm. Returns the
// language whose catalogue was installed, or an empty string.
QString install(QCoreApplication &app, const QString &folder);

} // namespace Translations
