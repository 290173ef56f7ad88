#pragma once

#include "platform/PreferenceDomain.h"
#include "platform/Volume.h"

#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>

// Where each setting of the login window lives on the volume (volume
// paths), and the few facts about it that every layer needs.
namespace LoginWindow {
inline const QString kDomain = QStringLiteral("/Library/Preferences/com.apple.loginwindow");
inline const QString kDesktopPictureKey = QStringLiteral("DesktopPicture");
inline const QString kMessageKey = QStringLiteral("LoginwindowText");
inline const QString kHostInfoKey = QStringLiteral("AdminHostInfo");
// The login options that fleet tools set in the same domain.
inline const QString kShowFullNameKey = QStringLiteral("SHOWFULLNAME");
inline const QString kPowerOffDisabledKey = QStringLiteral("PowerOffDisabled");
inline const QString kShowInputMenuKey = QStringLiteral("showInputMenu");
inline const QString kRetriesUntilHintKey = QStringLiteral("RetriesUntilHint");
inline const QString kLogoFirstPlace = QStringLiteral(
    "/System/Library/CoreServices/SecurityAgent.app/Contents/Resources/applelogo.tif");
inline const QString kLogoSecondPlace = QStringLiteral(
    "/System/Library/CoreServices/SecurityAgentPlugins/loginwindow.bundle/Contents/Resources/applelogo.tif");
inline const QString kTitleFirstPlace = QStringLiteral(
    "/System/Library/CoreServices/SecurityAgent.app/Contents/Resources/MacOSX.tif");
inline const QString kTitleSecondPlace = QStringLiteral(
    "/System/Library/CoreServices/SecurityAgentPlugins/loginwindow.bundle/Contents/Resources/MacOSX.tif");
inline const QString kTigerDefaultBackground = QStringLiteral("/Library/Desktop Pictures/Aqua Blue.jpg");
inline const QString kDefaultBackground = QStringLiteral("/System/Library/CoreServices/DefaultDesktop.jpg");
inline const QString kSharedSupportFolder = QStringLiteral("/Library/Application Support/Lumora");
inline const QString kInstalledBackground =
    QStringLiteral("/Library/Application Support/Lumora/login_background.jpg");
inline const QString kStockLogo = QStringLiteral("AppleLogo.tif");
inline const QString kStockTitle = QStringLiteral("AppleTitle.tif");
inline const QString kStockBackground = QStringLiteral("AppleBackground.jpg");
inline const QString kVersionFile = QStringLiteral("/System/Library/CoreServices/SystemVersion.plist");

// The "AdminHostInfo" string of a tag (0 to 6); "HostName" for any other.
[[nodiscard]] QString hostInfoValueForTag(std::int32_t tag);
// The tag of a stored "AdminHostInfo" string; 1 ("HostName") for anything
// unknown or missing.
[[nodiscard]] std::int32_t hostInfoTagForValue(const std::optional<QString> &value);

// The login window's preference domain on the volume, read afresh; its
// absence is logged, as every reader of it does, with the reason when the
// file is there but cannot be read.
[[nodiscard]] std::optional<QVariantMap> domain(const Volume &volume);
// Why the domain cannot be read, logged as domain() logs it: None when it
// can, and Missing for a volume that has none yet, which reads as empty.
[[nodiscard]] DictionaryProblem domainProblem(const Volume &volume);
// "LoginwindowText", or nothing when the domain or the key is missing.
[[nodiscard]] std::optional<QString> currentMessage(const Volume &volume);

// "ProductVersion" of the volume's system version file; nothing when the
// file is missing, unreadable or names no release.
[[nodiscard]] std::optional<QString> systemRelease(const Volume &volume);
// The release begins with "10.4"; a missing release counts as another one.
[[nodiscard]] bool isTiger(const Volume &volume);
} // namespace LoginWindow

// The application's preference keys.
namespace PreferenceKeys {
inline const QString kCheckForUpdates = QStringLiteral("checkForUpdates");
inline const QString kMadeLogoBackup = QStringLiteral("Made logo backup");
inline const QString kMadeTitleBackup = QStringLiteral("Made title backup");
inline const QString kLastVersionCheckDate = QStringLiteral("Last version check date");
} // namespace PreferenceKeys
