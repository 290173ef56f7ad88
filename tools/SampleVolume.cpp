#include "tools/SampleVolume.h"

#include "platform/LoginWindow.h"
#include "platform/PropertyList.h"
#include "platform/Volume.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSaveFile>

#include <cmath>

namespace {

bool writeImage(const QImage &image, const QString &path, const char *format, int quality = -1)
{
    QImageWriter writer(path, format);
    if (quality >= 0)
        writer.setQuality(quality);
    return writer.write(image);
}

// A lantern-like emblem: a glowing disc with a ring of rays.
QImage drawLogo()
{
    QImage image(128, 128, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(64, 64);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 12; ++i) {
        p.save();
        p.translate(centre);
        p.rotate(i * 30.0);
        QPainterPath ray;
        ray.moveTo(-5, -34);
        ray.lineTo(0, -60);
        ray.lineTo(5, -34);
        ray.closeSubpath();
        p.setBrush(QColor(90, 110, 130, 200));
        p.drawPath(ray);
        p.restore();
    }
    QRadialGradient glow(centre, 32, QPointF(56, 54));
    glow.setColorAt(0, QColor(250, 252, 255));
    glow.setColorAt(0.6, QColor(150, 170, 190));
    glow.setColorAt(1, QColor(70, 85, 100));
    p.setBrush(glow);
    p.drawEllipse(centre, 30, 30);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QPointF(56, 52), 9, 6);
    return image;
}

// The product name in plain block letters, drawn as shapes so that it does
// not depend on the fonts of the machine that builds it.
QImage drawTitle()
{
    QImage image(300, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 8, 0, 52);
    fill.setColorAt(0, QColor(120, 130, 140));
    fill.setColorAt(1, QColor(40, 45, 55));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    // L U M O R A, each letter in a 40 x 44 cell.
    const qreal top = 8;
    const qreal h = 44;
    const qreal w = 34;
    const qreal t = 8;
    auto cellX = [](int i) { return 14.0 + i * 46.0; };
    qreal x = cellX(0); // L
    p.drawRect(QRectF(x, top, t, h));
    p.drawRect(QRectF(x, top + h - t, w, t));
    x = cellX(1); // U, with a round bottom so that it does not read as "LI"
    QPainterPath u;
    u.addRoundedRect(QRectF(x, top - h, w, 2 * h), 14, 14);
    u.addRoundedRect(QRectF(x + t, top - h, w - 2 * t, 2 * h - t), 6, 6);
    u.setFillRule(Qt::OddEvenFill);
    p.save();
    p.setClipRect(QRectF(x, top, w, h));
    p.drawPath(u);
    p.restore();
    x = cellX(2); // M
    p.drawRect(QRectF(x, top, t, h));
    p.drawRect(QRectF(x + w - t, top, t, h));
    QPainterPath v;
    v.moveTo(x + t, top);
    v.lineTo(x + w / 2, top + h * 0.6);
    v.lineTo(x + w - t, top);
    v.lineTo(x + w - t, top + t * 1.6);
    v.lineTo(x + w / 2, top + h * 0.6 + t * 1.2);
    v.lineTo(x + t, top + t * 1.6);
    v.closeSubpath();
    p.drawPath(v);
    x = cellX(3); // O
    QPainterPath o;
    o.addEllipse(QRectF(x, top, w, h));
    o.addEllipse(QRectF(x + t, top + t, w - 2 * t, h - 2 * t));
    o.setFillRule(Qt::OddEvenFill);
    p.drawPath(o);
    x = cellX(4); // R
    p.drawRect(QRectF(x, top, t, h));
    QPainterPath bowl;
    bowl.addRoundedRect(QRectF(x, top, w, h * 0.55), 10, 10);
    bowl.addRoundedRect(QRectF(x + t, top + t, w - 2 * t, h * 0.55 - 2 * t), 4, 4);
    bowl.setFillRule(Qt::OddEvenFill);
    p.drawPath(bowl);
    QPainterPath leg;
    leg.moveTo(x + w * 0.35, top + h * 0.5);
    leg.lineTo(x + w * 0.35 + t * 1.3, top + h * 0.5);
    leg.lineTo(x + w, top + h);
    leg.lineTo(x + w - t * 1.3, top + h);
    leg.closeSubpath();
    p.drawPath(leg);
    x = cellX(5); // A
    QPainterPath a;
    a.moveTo(x, top + h);
    a.lineTo(x + w / 2 - t / 2, top);
    a.lineTo(x + w / 2 + t / 2, top);
    a.lineTo(x + w, top + h);
    a.lineTo(x + w - t, top + h);
    a.lineTo(x + w / 2, top + t * 1.4);
    a.lineTo(x + t, top + h);
    a.closeSubpath();
    p.drawPath(a);
    p.drawRect(QRectF(x + w * 0.25, top + h * 0.62, w * 0.5, t * 0.8));
    return image;
}

// A calm blue gradient with soft light bands.
QImage drawBackground()
{
    QImage image(1024, 768, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 768);
    sky.setColorAt(0, QColor(18, 58, 120));
    sky.setColorAt(0.55, QColor(40, 110, 185));
    sky.setColorAt(1, QColor(120, 180, 225));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    for (int band = 0; band < 5; ++band) {
        QPainterPath wave;
        const qreal base = 420 + band * 60;
        wave.moveTo(0, base);
        for (int x = 0; x <= 1024; x += 16)
            wave.lineTo(x, base + 26 * std::sin((x / 1024.0) * 2 * M_PI * (1 + band * 0.3) + band));
        wave.lineTo(1024, 768);
        wave.lineTo(0, 768);
        wave.closeSubpath();
        p.setBrush(QColor(255, 255, 255, 18 + band * 6));
        p.drawPath(wave);
    }
    QRadialGradient light(QPointF(512, 260), 380);
    light.setColorAt(0, QColor(255, 255, 255, 60));
    light.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(light);
    p.drawEllipse(QPointF(512, 260), 380, 380);
    return image;
}

bool copyInto(const QString &source, const QString &destination)
{
    if (!QDir().mkpath(QFileInfo(destination).absolutePath()))
        return false;
    QFile::remove(destination);
    return QFile::copy(source, destination);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

} // namespace

namespace SampleVolume {

bool drawStockArtwork(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return false;
    return writeImage(drawLogo(), folder + QStringLiteral("/AppleLogo.tif"), "tiff")
           && writeImage(drawTitle(), folder + QStringLiteral("/AppleTitle.tif"), "tiff")
           && writeImage(drawBackground(), folder + QStringLiteral("/AppleBackground.jpg"), "jpeg", 92);
}

bool build(const QString &root, const QString &artworkFolder, const Options &options)
{
    const Volume volume(root);
    const QString logo = artworkFolder + QStringLiteral("/AppleLogo.tif");
    const QString title = artworkFolder + QStringLiteral("/AppleTitle.tif");
    const QString background = artworkFolder + QStringLiteral("/AppleBackground.jpg");

    const QVariantMap version{
        {QStringLiteral("ProductName"), QStringLiteral("Mac OS X")},
        {QStringLiteral("ProductVersion"), options.release},
        {QStringLiteral("ProductBuildVersion"),
         !options.build.isEmpty()                          ? options.build
         : options.release.startsWith(QLatin1String("10.3")) ? QStringLiteral("7W98")
                                                             : QStringLiteral("8S165")},
    };
    bool ok = writeFile(volume.hostPath(LoginWindow::kVersionFile),
                        PropertyList::serialize(QVariant(version), PropertyList::Format::Xml));
    ok = ok && copyInto(logo, volume.hostPath(LoginWindow::kLogoFirstPlace))
         && copyInto(logo, volume.hostPath(LoginWindow::kLogoSecondPlace))
         && copyInto(title, volume.hostPath(LoginWindow::kTitleFirstPlace))
         && copyInto(title, volume.hostPath(LoginWindow::kTitleSecondPlace))
         && copyInto(background, volume.hostPath(LoginWindow::kTigerDefaultBackground))
         && copyInto(background, volume.hostPath(LoginWindow::kDefaultBackground))
         && QDir().mkpath(volume.hostPath(QStringLiteral("/Library/Application Support")));
    if (ok && options.withDomain) {
        QVariantMap domain{{LoginWindow::kHostInfoKey, options.hostInfo}};
        if (!options.message.isEmpty())
            domain.insert(LoginWindow::kMessageKey, options.message);
        ok = writeFile(volume.hostPath(LoginWindow::kDomain) + QStringLiteral(".plist"),
                       PropertyList::serialize(QVariant(domain), PropertyList::Format::Binary));
    }
    if (ok && !options.computerName.isEmpty()) {
        const QVariantMap system{{QStringLiteral("System"),
                                  QVariantMap{{QStringLiteral("ComputerName"), options.computerName}}}};
        ok = writeFile(volume.hostPath(QStringLiteral("/Library/Preferences/SystemConfiguration/preferences.plist")),
                       PropertyList::serialize(QVariant(QVariantMap{{QStringLiteral("System"), system}}),
                                               PropertyList::Format::Xml));
    }
    return ok;
}

} // namespace SampleVolume
