#pragma once

#include <QString>

// The project's own stock artwork and a sample system volume built from it.
namespace SampleVolume {

// Draws "AppleLogo.tif", "AppleTitle.tif" and "AppleBackground.jpg" into
// `folder`. Returns false when a file could not be written.
[[nodiscard]] bool drawStockArtwork(const QString &folder);

struct Options {
    QString release = QStringLiteral("10.4.11");
    QString message = QStringLiteral("Welcome to the Lumora sample volume.");
    QString hostInfo = QStringLiteral("HostName");
    bool withDomain = true;
    // ProductBuildVersion; empty: one that fits the release.
    QString build = {};
    // The computer name in the network preferences
    // (SystemConfiguration/preferences.plist); empty: no such file.
    QString computerName = {};
};

// Lays out a system volume under `root` from the artwork in
// `artworkFolder`: the system version file, the login agent's images in
// both places, a binary login-window preference file and both default
// desktop pictures, and with a computer name the network preferences.
// Returns false when something could not be written.
[[nodiscard]] bool build(const QString &root, const QString &artworkFolder, const Options &options = {});

} // namespace SampleVolume
