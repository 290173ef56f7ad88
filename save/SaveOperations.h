#pragma once

#include "platform/Image.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class Staging;

// Writing each setting of the login window to its place on the volume.
// Each operation logs its own fixed line on failure, stops its remaining
// steps, and returns whether its setting reached the volume.
class SaveOperations {
public:
    explicit SaveOperations(const Staging &staging) : m_staging(staging) {}

    // An empty text removes the message (when the volume has one).
    [[nodiscard]] bool saveMessage(const QString &text) const;
    [[nodiscard]] bool saveHostInfo(std::int32_t tag) const;
    // A login option under `key`: a real boolean or an integer, one run of
    // the preference tool; nothing removes the key (the stock window),
    // running nothing when the volume has none.
    [[nodiscard]] bool saveBooleanPreference(const QString &key, std::optional<bool> value) const;
    [[nodiscard]] bool saveCountPreference(const QString &key, std::optional<std::int32_t> value) const;

    [[nodiscard]] static QByteArray jpgDataForBackground(const Image &background);
    [[nodiscard]] bool setBackgroundInDefaults(const std::optional<QString> &path) const;
    // Installs `background`, or with `revert` puts the release's default
    // picture back (`tiger`: the volume runs 10.4).
    [[nodiscard]] bool saveBackground(const Image &background, bool revert, bool tiger) const;
    [[nodiscard]] bool saveBackgroundInTiger(const Image &background) const;

    [[nodiscard]] bool saveLogo(const Image &logo) const;
    [[nodiscard]] bool saveTitle(const Image &title) const;
    // `path` is a volume path.
    void removeOtherFormatsForFile(const QString &path) const;

private:
    struct ImageTarget;
    [[nodiscard]] bool saveImage(const Image &image, const ImageTarget &target) const;
    // Makes the one-time backup of the 10.4 default picture at `picture`
    // (host paths), directly or with administrator rights; true when it is
    // in place. An existing backup is never replaced.
    [[nodiscard]] bool keepTigerOriginal(const QString &picture, const QString &backup, bool direct) const;

    [[nodiscard]] bool savePreference(const QString &key, const std::optional<QStringList> &typedValue) const;

    const Staging &m_staging;
};
