// Reading what the login window shows now: its preference domain, the
// login agent's images and the default background of the release.

#include "controller/LumoraLogin.h"

#include "platform/PreferenceDomain.h"
#include "save/StockLook.h"

#include <QDir>
#include <QFileInfo>

#include <array>

namespace {

QString baseName(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

} // namespace

bool LumoraLogin::isTiger() const
{
    return LoginWindow::isTiger(m_context.volume);
}

QString LumoraLogin::currentBackgroundPath() const
{
    if (const auto domain = LoginWindow::domain(m_context.volume)) {
        if (auto path = stringValue(*domain, LoginWindow::kDesktopPictureKey))
            return *path;
    }
    return isTiger() ? LoginWindow::kTigerDefaultBackground : LoginWindow::kDefaultBackground;
}

std::optional<QString> LumoraLogin::currentMessage() const
{
    return LoginWindow::currentMessage(m_context.volume);
}

std::int32_t LumoraLogin::currentHostInfoTag() const
{
    const auto domain = LoginWindow::domain(m_context.volume);
    return hostInfoTagForValue(domain ? stringValue(*domain, LoginWindow::kHostInfoKey) : std::nullopt);
}

std::int32_t LumoraLogin::hostInfoTagForValue(const std::optional<QString> &value)
{
    return LoginWindow::hostInfoTagForValue(value);
}

QString LumoraLogin::hostInfoValueForTag(std::int32_t tag)
{
    return LoginWindow::hostInfoValueForTag(tag);
}

std::optional<QString> LumoraLogin::originalBackgroundPath() const
{
    return StockLook::originalBackgroundPath(m_context.volume, m_context.bundle);
}

std::optional<QString> LumoraLogin::pathForResource(const QString &fileName) const
{
    return m_context.bundle.pathForResource(fileName);
}

Image LumoraLogin::loadImageAtPath(const QString &path, bool tryingOtherFormats)
{
    Image image = Image::referencingFile(path);
    if (!tryingOtherFormats || image.isValid())
        return image;

    // The same picture may have been stored in another format under the
    // same base name; the first one that decodes takes its place.
    const QFileInfo info(path);
    const QString base = baseName(info.fileName());
    const QDir folder = info.dir();
    // FIFOs, sockets and devices are left out of the listing; Image would
    // refuse them anyway, this just keeps them from being candidates.
    const QStringList names = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                               QDir::Unsorted);
    for (const QString &name : names) {
        if (baseName(name) != base)
            continue;
        image = Image::referencingFile(folder.filePath(name));
        if (image.isValid())
            break;
    }
    return image;
}

void LumoraLogin::loadCurrentSettings()
{
    const Volume &volume = m_context.volume;

    Image logo = loadImageAtPath(volume.hostPath(LoginWindow::kLogoFirstPlace), true);
    if (!logo.isValid())
        logo = Image::referencingFile(volume.hostPath(LoginWindow::kLogoSecondPlace));
    setLogo(logo);
    setLogoDirty(false);

    Image title = loadImageAtPath(volume.hostPath(LoginWindow::kTitleFirstPlace), true);
    if (!title.isValid())
        title = Image::referencingFile(volume.hostPath(LoginWindow::kTitleSecondPlace));
    setTitle(title);
    setTitleDirty(false);

    // DesktopPicture holds a volume path; it is read on this volume.
    setBackground(Image::referencingFile(volume.hostPath(currentBackgroundPath())));
    setBackgroundDirty(false);

    setMessage(currentMessage());
    setMessageDirty(false);

    setHostInfoTag(currentHostInfoTag());
    setHostInfoTagDirty(false);

    setDirty(false);
}
