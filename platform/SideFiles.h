#pragma once

#include <QRegularExpression>
#include <QString>

// The hidden files a save makes on the volume and removes again: the side
// file of an install or backup, ".NAME.lumora-XXXXXXXX", and the preference
// tool's temporary domain file, ".com.apple.loginwindow.plist.XXXXXX". An
// interrupted save may leave them; nothing else may be swept away.
namespace SideFiles {

inline bool isLeftoverName(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.(.+\\.lumora-[a-z0-9]{8}|com\\.apple\\.loginwindow\\.plist\\.[A-Za-z0-9]{6})$"));
    return pattern.match(name).hasMatch();
}

} // namespace SideFiles
