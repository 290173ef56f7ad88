#pragma once

// A controller wired the way the window wires it, on a throwaway volume,
// with a scriptable or direct authorization back end.

#include "controller/LumoraLogin.h"
#include "controller/MessageView.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/PreferenceDomain.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "privileged/Staging.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FileBytes.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/RecordingAuthorizationService.h"
#include "tests/fakes/TestVolume.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <memory>

class SaveFixture {
public:
    explicit SaveFixture(const SampleVolume::Options &options = {},
                         std::unique_ptr<AuthorizationService> service = std::make_unique<DirectAuthorizationService>())
        : volume(options)
        , defaults(prefsDir.filePath(QStringLiteral("prefs.ini")))
        , recorder(dynamic_cast<RecordingAuthorizationService *>(service.get()))
        , authorization(std::move(service), &alerts)
        , controller(LumoraContext{volume.volume(), volume.bundle(), &defaults, &alerts, nullptr, &clock,
                                   &authorization})
    {
        // As the window starts, less the launch check.
        controller.attachFrontEnd(&view, LumoraLogin::LaunchCheck::Skip);
    }

    [[nodiscard]] QString host(const QString &volumePath) const { return volume.hostPath(volumePath); }

    [[nodiscard]] std::optional<QVariantMap> domain() const
    {
        return persistentDomainForName(volume.volume(), LoginWindow::kDomain);
    }
    [[nodiscard]] std::optional<QString> domainString(const QString &key) const
    {
        const auto values = domain();
        return values ? stringValue(*values, key) : std::nullopt;
    }

    // The staging the controller's save runs on.
    [[nodiscard]] Staging staging() const
    {
        const LumoraContext &context = controller.context();
        return Staging(context.volume, context.bundle, context.defaults, context.authorization);
    }

    [[nodiscard]] bool anyFlagSet() const
    {
        return controller.dirty() || controller.logoDirty() || controller.titleDirty()
               || controller.backgroundDirty() || controller.messageDirty() || controller.hostInfoTagDirty()
               || controller.shouldRevertBackground();
    }

    QTemporaryDir prefsDir;
    TestVolume volume;
    UserDefaults defaults;
    FakeAlertPanel alerts;
    FakeClock clock;
    MemoryMessageView view;
    RecordingAuthorizationService *recorder = nullptr; // owned by `authorization`, when used
    Authorization authorization;
    LumoraLogin controller;
};

namespace SaveTesting {

// Every file and folder under `root`: relative path -> mode and content hash.
inline QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        QByteArray entry = QByteArray::number(info.st_mode, 8);
        QFile file(path);
        if (S_ISREG(info.st_mode) && file.open(QIODevice::ReadOnly))
            entry += ' ' + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
        tree.insert(QDir(root).relativeFilePath(path), entry);
    }
    return tree;
}

inline int modeOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

// A picture unlike the stock artwork, different for every `seed`.
inline QImage pattern(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba((x * 7 + seed * 40) & 255, (y * 5 + seed * 90) & 255,
                                       ((x ^ y) + seed * 13) & 255, 255));
    }
    return image;
}

// A smooth picture, as photographs are, for comparisons through JPEG.
inline QImage gradient(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 255 / width + seed * 50) & 255, y * 255 / height, (128 + seed * 30) & 255));
    }
    return image;
}

// The mean and the largest difference of any channel between two pictures
// of one size; -1 when the sizes differ.
inline double meanChannelDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    double total = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto *l = reinterpret_cast<const QRgb *>(left.constScanLine(y));
        const auto *r = reinterpret_cast<const QRgb *>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x) {
            total += std::abs(qRed(l[x]) - qRed(r[x])) + std::abs(qGreen(l[x]) - qGreen(r[x]))
                     + std::abs(qBlue(l[x]) - qBlue(r[x]));
        }
    }
    return total / (3.0 * left.width() * left.height());
}

inline int maxChannelDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto *l = reinterpret_cast<const QRgb *>(left.constScanLine(y));
        const auto *r = reinterpret_cast<const QRgb *>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x) {
            worst = std::max({worst, std::abs(qRed(l[x]) - qRed(r[x])), std::abs(qGreen(l[x]) - qGreen(r[x])),
                              std::abs(qBlue(l[x]) - qBlue(r[x])), std::abs(qAlpha(l[x]) - qAlpha(r[x]))});
        }
    }
    return worst;
}

// Points the per-user folders of this test process at a private home, so
// tests running side by side never share staging files or the save lock.
inline void usePrivateHome(const QTemporaryDir &home)
{
    qputenv("HOME", QFile::encodeName(home.path()));
}

} // namespace SaveTesting
