#pragma once

#include "save/LookHistory.h"

#include <QString>

#include <optional>

class LumoraLogin;

// The history of saved looks seen from the document: the look the volume
// holds now, kept before a save replaces it, and a kept look filled into
// the document as Restore Default Look fills in the stock one.
namespace SavedLooks {

// What the volume holds now, every setting of it.
[[nodiscard]] LookHistory::Look current(const LumoraLogin &document);
// Keeps the volume's look before a save writes anything (called under the
// save lock, with the runner's request run begun), unless every setting the
// document marks already holds. True when it is kept (or nothing changes).
bool keepCurrent(const LumoraLogin &document);
// The looks on the volume, newest first (LookHistory::list()).
[[nodiscard]] QList<LookHistory::Look> list(const LumoraLogin &document, QStringList *refused = nullptr);
// The look `id` read from the history with its pictures checked (nothing,
// with the reason, when it cannot be read as it was kept).
[[nodiscard]] std::optional<LookHistory::Look> read(const LumoraLogin &document, const QString &id, QString *why);
// Fills the document with a look read(), through the setters, as Restore
// Default Look fills in the stock one; the next save writes it.
void fill(LumoraLogin &document, const LookHistory::Look &look);
// read() and fill().
[[nodiscard]] bool restore(LumoraLogin &document, const QString &id, QString *why);
// How many looks the user keeps (LookHistory::kKeptKey).
[[nodiscard]] int keptCount(const LumoraLogin &document);

} // namespace SavedLooks
