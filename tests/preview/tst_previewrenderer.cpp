// The renderer against reference pictures, its layout rules, its hints, and
// the promise that the preview shows the pictures Save installs.

#include "controller/PreviewSources.h"
#include "preview/LoginScreenRenderer.h"
#include "preview/PreviewFonts.h"
#include "preview/PreviewPng.h"
#include "preview/SavedPictures.h"
#include "tests/save/SaveFixture.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

namespace {

const QString kReferences = QStringLiteral(LUMORA_TEST_DATA_DIR "/preview");

// Share of pixels whose channels differ by more than `level`: text edges
// move by a shade between builds, a moved panel or line does not.
double differingShare(const QImage &a, const QImage &b, int level = 48)
{
    if (a.size() != b.size())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    qint64 differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column) {
            if (qAbs(qRed(p[column]) - qRed(q[column])) > level || qAbs(qGreen(p[column]) - qGreen(q[column])) > level
                || qAbs(qBlue(p[column]) - qBlue(q[column])) > level)
                ++differing;
        }
    }
    return double(differing) / (double(x.width()) * x.height());
}
constexpr double kTolerance = 0.002;

QImage solid(QSize size, QColor colour, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

// A disc on a transparent square: what a logo with an alpha channel looks like.
QImage transparentDisc(int side, QColor colour)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(side * 0.1, side * 0.1, side * 0.8, side * 0.8));
    return image;
}

// Diagonal bands, so that a wrong scale or offset of the background shows.
QImage bands(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(20, 24, 40));
    QPainter p(&image);
    for (int i = -size.height(); i < size.width(); i += 40) {
        p.setPen(QPen(QColor(40 + (i / 40 % 5) * 40, 90, 160), 20));
        p.drawLine(i, 0, i + size.height(), size.height());
    }
    return image;
}

struct Stock {
    QImage logo, title, background;
};
Stock stockArtwork(const QString &folder)
{
    if (!SampleVolume::drawStockArtwork(folder))
        return {};
    return {QImage(folder + QStringLiteral("/AppleLogo.tif")), QImage(folder + QStringLiteral("/AppleTitle.tif")),
            QImage(folder + QStringLiteral("/AppleBackground.jpg"))};
}

const QString kThreeLines = QStringLiteral("Property of the Physics Department.\nAuthorised use only.\n"
                                           "Help: room 2.14, extension 4410");

// A picture whose rows, stored as differences from the pixel to the left,
// make one block's symbols come 1, 1, 2, 3, 5, 8... times (the first 1 is
// the block's end, and the rows' own filter bytes are part of the 8): the
// best code for them is deeper than a PNG allows, so it must be cut to fit.
QImage skewedDifferences()
{
    constexpr int kWidth = 1024, kRows = 6;
    std::vector<quint8> differences;
    int count = 1, next = 2;
    for (int symbol = 0; symbol < 19; ++symbol, std::tie(count, next) = std::pair(next, count + next)) {
        const quint8 value = symbol == 18 ? 0 : count == 8 ? 1 : quint8(100 + symbol);
        differences.insert(differences.end(), std::size_t(count == 8 ? count - kRows : count), value);
    }
    std::shuffle(differences.begin(), differences.end(), std::mt19937(7));
    QImage image(kWidth, kRows, QImage::Format_RGB32);
    std::size_t at = 0;
    for (int y = 0; y < kRows; ++y) {
        int channel[3] = {};
        for (int x = 0; x < kWidth; ++x) {
            for (int &value : channel) // the rest is the commonest, 0
                value = (value + (at < differences.size() ? differences[at++] : 0)) & 0xff;
            image.setPixel(x, y, qRgb(channel[0], channel[1], channel[2]));
        }
    }
    return image;
}

} // namespace

class TestPreviewRenderer : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Stock m_stock;

    // The three looks the reference pictures hold.
    PreviewScene scene(const QString &look) const
    {
        PreviewScene scene{m_stock.background, {}, m_stock.logo, m_stock.title,
                           QStringLiteral("Welcome to the Lumora sample volume."), QStringLiteral("Lumora Sample Mac"),
                           false, {QStringLiteral("admin"), QStringLiteral("student")}, true};
        if (look == QLatin1String("changed")) {
            // Name and password fields, and no power buttons.
            scene.nameAndPassword = true;
            scene.powerButtons = false;
            scene.background = SavedPictures::asSaved(bands({640, 400}), Picture::Background);
            scene.logo = SavedPictures::asSaved(transparentDisc(900, QColor(200, 40, 40)), Picture::Logo);
            scene.message = kThreeLines;
            scene.hostLine = QStringLiteral("Mac OS X 10.4.11 (8S165)");
        } else if (look == QLatin1String("cut")) {
            // Nine short lines, each one line wide.
            QStringList lines;
            for (int i = 1; i <= 9; ++i)
                lines << QStringLiteral("Line %1 of the notice").arg(i);
            scene.message = lines.join(QLatin1Char('\n'));
        }
        return scene;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_stock = stockArtwork(m_dir.filePath(QStringLiteral("art")));
        QVERIFY(!m_stock.background.isNull() && !m_stock.logo.isNull() && !m_stock.title.isNull());
        // Without the fonts the references cannot match anywhere.
        QVERIFY2(PreviewFonts::loaded(), PreviewFonts::kFolder);
    }

    void matchesReference_data()
    {
        QTest::addColumn<QString>("look");
        QTest::addColumn<QSize>("screen");
        QTest::newRow("stock") << "stock" << QSize(1024, 768);
        QTest::newRow("changed") << "changed" << QSize(1280, 854);
        QTest::newRow("cut") << "cut" << QSize(1024, 768);
    }
    // Catches any change of layout, colours or fonts. After an intended
    // change, LUMORA_WRITE_REFERENCES=1 rewrites the pictures; look at them
    // before committing.
    void matchesReference()
    {
        QFETCH(QString, look);
        QFETCH(QSize, screen);
        LoginScreenRenderer renderer;
        const QImage picture = renderer.render(scene(look), screen);
        const QString reference = kReferences + QStringLiteral("/%1-%2x%3.png").arg(look).arg(screen.width()).arg(screen.height());
        if (qEnvironmentVariableIsSet("LUMORA_WRITE_REFERENCES"))
            QVERIFY(picture.save(reference));
        const QImage expected(reference);
        QVERIFY2(!expected.isNull(), qPrintable(reference));
        const double share = differingShare(picture, expected);
        QVERIFY2(share <= kTolerance, qPrintable(QStringLiteral("%1% of the pixels differ").arg(share * 100)));

        // Drawn once, the scaled background becomes the drawing: the same
        // pixels, and the scene's own picture (here the very size of the
        // screen for the stock look) is not drawn over.
        const PreviewScene once = scene(look);
        const QImage before = once.background.copy();
        QCOMPARE(LoginScreenRenderer().renderOnce(once, screen), picture);
        QCOMPARE(once.background, before);
        PreviewScene plain = once;
        plain.background = QImage();
        QCOMPARE(LoginScreenRenderer().renderOnce(plain, screen), renderer.render(plain, screen));
    }

    void toleranceStillSeesASmallChange()
    {
        // One more line of message moves the fields and buttons down by a
        // line: the comparison must not let that through.
        LoginScreenRenderer renderer;
        PreviewScene changed = scene(QStringLiteral("stock"));
        changed.message += QStringLiteral("\nA second line.");
        const QImage expected(kReferences + QStringLiteral("/stock-1024x768.png"));
        QVERIFY(!expected.isNull());
        QVERIFY(differingShare(renderer.render(changed, {1024, 768}), expected) > kTolerance);
    }

    // The login options change the form: the list of users or the name and
    // password fields, and the buttons under them (a list has no Log In).
    void loginOptionsChangeTheForm_data()
    {
        QTest::addColumn<bool>("nameAndPassword");
        QTest::addColumn<bool>("powerButtons");
        QTest::addColumn<QStringList>("users");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("inputMenu");
        QTest::newRow("list and buttons") << false << true << QStringList{"admin", "student"}
                                          << QStringList{"admin", "student"} << false;
        QTest::newRow("list, no buttons") << false << false << QStringList{} << QStringList{"Other…"} << false;
        QTest::newRow("fields and buttons") << true << true << QStringList{"admin"} << QStringList{} << false;
        QTest::newRow("fields, no power buttons") << true << false << QStringList{} << QStringList{} << false;
        QTest::newRow("list and the input menu") << false << true << QStringList{"admin"} << QStringList{"admin"}
                                                 << true;
    }
    void loginOptionsChangeTheForm()
    {
        QFETCH(bool, nameAndPassword);
        QFETCH(bool, powerButtons);
        QFETCH(QStringList, users);
        QFETCH(QStringList, rows);
        QFETCH(bool, inputMenu);
        PreviewScene look = scene(QStringLiteral("stock"));
        look.nameAndPassword = nameAndPassword;
        look.powerButtons = powerButtons;
        look.inputMenu = inputMenu;
        look.userNames = users;
        const QSize screen(1024, 768);
        LoginScreenRenderer renderer;
        const PreviewLayout l = renderer.layout(look, screen);
        QCOMPARE(!l.nameField.isEmpty() && !l.passwordField.isEmpty(), nameAndPassword);
        QCOMPARE(l.userList.isEmpty(), nameAndPassword);
        QCOMPARE(l.userNames.mid(0, l.userRows.size()), rows);
        QCOMPARE(!l.restart.isEmpty() && !l.shutDown.isEmpty(), powerButtons);
        QCOMPARE(!l.logIn.isEmpty(), nameAndPassword);
        // Everything shown is inside the panel, under the message.
        for (const QRect &rect : {l.nameField, l.passwordField, l.userList, l.restart, l.shutDown, l.logIn}) {
            if (!rect.isEmpty())
                QVERIFY(l.panel.contains(rect) && rect.top() > l.message.bottom());
        }
        // A hidden button is not drawn: where it would be, the panel shows.
        const QImage picture = renderer.render(look, screen);
        const PreviewLayout withButtons = [&] {
            PreviewScene shown = look;
            shown.powerButtons = true;
            return renderer.layout(shown, screen);
        }();
        if (!powerButtons && nameAndPassword) {
            const QColor inside = picture.pixelColor(withButtons.restart.center());
            const QColor panel = picture.pixelColor(withButtons.restart.left() - 4, withButtons.restart.center().y());
            QCOMPARE(inside, panel);
        }
        // The input menu sits in the screen's top right corner, off the
        // panel, and is drawn there only when shown.
        QCOMPARE(!l.inputMenu.isEmpty(), inputMenu);
        PreviewScene other = look;
        other.inputMenu = !inputMenu;
        const QRect corner = inputMenu ? l.inputMenu : renderer.layout(other, screen).inputMenu;
        QVERIFY(QRect(QPoint(), screen).contains(corner) && !corner.intersects(l.panel));
        QVERIFY(corner.center().x() > screen.width() * 3 / 4 && corner.bottom() < screen.height() / 8);
        QVERIFY(differingShare(renderer.render(other, screen).copy(corner), picture.copy(corner)) > 0.1);
    }

    void picturesKeepTheirSizeUnlessTooLarge_data()
    {
        QTest::addColumn<QSize>("logo");
        QTest::addColumn<QSize>("title");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("logoDrawn");
        QTest::addColumn<QSize>("titleDrawn");
        QTest::newRow("small ones are never enlarged") << QSize(64, 40) << QSize(90, 30) << QSize(1920, 1200)
                                                       << QSize(64, 40) << QSize(90, 30);
        QTest::newRow("a large logo on a large screen") << QSize(900, 900) << QSize(300, 60) << QSize(1920, 1200)
                                                         << QSize(280, 280) << QSize(300, 60);
        QTest::newRow("a short screen has a smaller box") << QSize(900, 900) << QSize(300, 60) << QSize(1024, 768)
                                                           << QSize(230, 230) << QSize(300, 60);
        QTest::newRow("too wide for the panel") << QSize(1000, 50) << QSize(824, 100) << QSize(1440, 900)
                                                << QSize(412, 20) << QSize(412, 50);
    }
    void picturesKeepTheirSizeUnlessTooLarge()
    {
        QFETCH(QSize, logo);
        QFETCH(QSize, title);
        QFETCH(QSize, screen);
        QFETCH(QSize, logoDrawn);
        QFETCH(QSize, titleDrawn);
        LoginScreenRenderer renderer;
        const PreviewScene look{bands({1920, 1200}), {}, solid(logo, Qt::red), solid(title, Qt::green), {}, {}, true,
                                {}, true};
        const PreviewLayout layout = renderer.layout(look, screen);
        QCOMPARE(layout.logo.size(), logoDrawn);
        QCOMPARE(layout.title.size(), titleDrawn);
        // Both centred in the panel, the title under the logo, all inside it.
        QVERIFY(layout.panel.contains(layout.logo) && layout.panel.contains(layout.title));
        QVERIFY(qAbs(layout.logo.center().x() - layout.panel.center().x()) <= 1);
        QVERIFY(qAbs(layout.title.center().x() - layout.panel.center().x()) <= 1);
        QVERIFY(layout.title.top() > layout.logo.bottom());
        QVERIFY(QRect(QPoint(), screen).contains(layout.panel));

        // The drawing puts them where the layout says.
        const QImage picture = renderer.render(look, screen);
        QCOMPARE(picture.pixelColor(layout.logo.center()), QColor(Qt::red));
        QCOMPARE(picture.pixelColor(layout.title.center()), QColor(Qt::green));
        QVERIFY(picture.pixelColor(layout.logo.topLeft() - QPoint(2, 2)) != QColor(Qt::red));
    }

    void backgroundFillsTheScreenKeepingItsShape_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<bool>("sideMarginsShow");
        QTest::addColumn<bool>("topMarginShows");
        // 400x200 on 1024x768 is scaled by 3.84: a sixth is cut at each side.
        QTest::newRow("wider than the screen") << QSize(400, 200) << QSize(1024, 768) << false << true;
        QTest::newRow("taller than the screen") << QSize(300, 600) << QSize(1280, 854) << true << false;
        QTest::newRow("larger, same shape") << QSize(3840, 2400) << QSize(1920, 1200) << true << true;
    }
    void backgroundFillsTheScreenKeepingItsShape()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, screen);
        QFETCH(bool, sideMarginsShow);
        QFETCH(bool, topMarginShows);
        // Blue margins of a tenth all round a green middle, with a red dot
        // in the centre: filling cuts the margins of the overflowing sides,
        // keeps the others (a fit would add bars, a stretch keep all four),
        // and keeps the centre in the centre.
        QImage background = solid(picture, Qt::blue, QImage::Format_RGB32);
        QPainter p(&background);
        const QRect middle(picture.width() / 10, picture.height() / 10, picture.width() * 8 / 10,
                           picture.height() * 8 / 10);
        p.fillRect(middle, Qt::green);
        const QSize dot(picture.width() / 20, picture.height() / 20);
        p.fillRect(QRect(middle.center() - QPoint(dot.width() / 2, dot.height() / 2), dot), Qt::red);
        p.end();

        const QImage filled = LoginScreenRenderer::fillScaled(background, screen);
        QCOMPARE(filled.size(), screen);
        auto isBlue = [](QColor c) { return c.blue() > 200 && c.green() < 60; };
        QCOMPARE(isBlue(filled.pixelColor(1, screen.height() / 2)), sideMarginsShow);
        QCOMPARE(isBlue(filled.pixelColor(screen.width() - 2, screen.height() / 2)), sideMarginsShow);
        QCOMPARE(isBlue(filled.pixelColor(screen.width() / 2, 1)), topMarginShows);
        QCOMPARE(isBlue(filled.pixelColor(screen.width() / 2, screen.height() - 2)), topMarginShows);
        const QColor centre = filled.pixelColor(screen.width() / 2, screen.height() / 2);
        QVERIFY2(centre.red() > 200 && centre.green() < 60, qPrintable(centre.name()));
    }

    // The part of the picture that fills the screen is read in place rather
    // than copied; the result is what cutting a copy gave, and never points
    // into the picture.
    void fillingReadsThePartInPlace_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QSize>("screen");
        const QImage photo = SaveTesting::gradient(640, 300, 9);
        QTest::newRow("rgb32, enlarged") << photo << QSize(1024, 768);
        QTest::newRow("rgb32, reduced") << photo << QSize(320, 240);
        QTest::newRow("rgb32, cut to the screen") << photo << QSize(400, 300);
        QTest::newRow("argb32") << photo.convertToFormat(QImage::Format_ARGB32) << QSize(333, 250);
        QTest::newRow("rgb888") << photo.convertToFormat(QImage::Format_RGB888) << QSize(801, 601);
        QTest::newRow("palette") << photo.convertToFormat(QImage::Format_Indexed8) << QSize(400, 300);
    }
    void fillingReadsThePartInPlace()
    {
        QFETCH(QImage, picture);
        QFETCH(QSize, screen);
        const double scale = std::max(double(screen.width()) / picture.width(),
                                      double(screen.height()) / picture.height());
        const QRect part = QRectF((picture.width() - screen.width() / scale) / 2,
                                  (picture.height() - screen.height() / scale) / 2, screen.width() / scale,
                                  screen.height() / scale)
                               .toAlignedRect()
                               .intersected(picture.rect());
        QImage expected = picture.copy(part);
        if (expected.size() != screen)
            expected = expected.scaled(screen, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        expected = expected.convertToFormat(QImage::Format_RGB32);

        QImage source = picture.copy();
        const QImage filled = LoginScreenRenderer::fillScaled(source, screen);
        source.fill(Qt::magenta); // the picture changed (or gone) afterwards
        source = QImage();
        QCOMPARE(filled.format(), QImage::Format_RGB32);
        QCOMPARE(filled, expected);
    }

    // The companion's preview file: the same pixels whatever the image's
    // kind and size, in one band or several.
    void previewPngKeepsEveryPixel_data()
    {
        QTest::addColumn<QImage>("image");
        QImage alpha = SaveTesting::pattern(97, 31, 3);
        alpha.setPixel(0, 0, qRgba(10, 20, 30, 0));
        alpha.setPixel(5, 7, qRgba(200, 20, 30, 77));
        QTest::newRow("alpha") << alpha;
        QTest::newRow("one pixel") << solid(QSize(1, 1), Qt::red, QImage::Format_RGB32);
        QTest::newRow("palette") << SaveTesting::pattern(64, 40, 2).convertToFormat(QImage::Format_Indexed8);
        // More than a band's pixels: compressed side by side on a machine
        // with several cores.
        QTest::newRow("large screen") << SaveTesting::gradient(2561, 1601, 4);
        QTest::newRow("skewed differences") << skewedDifferences();
        QTest::newRow("one colour") << solid(QSize(300, 200), Qt::darkCyan, QImage::Format_RGB32);
        QTest::newRow("three wide rows") << SaveTesting::gradient(999999, 3, 4);
    }
    void previewPngKeepsEveryPixel()
    {
        QFETCH(QImage, image);
        QByteArray png = PreviewPng::encode(image);
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QImageReader reader(&buffer, "png");
        const QImage decoded = reader.read();
        QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
        const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        QCOMPARE(decoded.convertToFormat(format), image.convertToFormat(format));
        QVERIFY(PreviewPng::encode(QImage()).isEmpty());
    }

    // The file's codes: complete (a reader refuses a code with holes) and
    // within the longest a code may be, however uneven the counts.
    void codeLengthsAreCompleteAndLimited_data()
    {
        QTest::addColumn<std::vector<quint32>>("counts");
        QTest::addColumn<int>("longest");
        std::vector<quint32> fibonacci;
        for (quint32 a = 1, b = 1; fibonacci.size() < 30; std::tie(a, b) = std::pair(b, a + b))
            fibonacci.push_back(a);
        QTest::newRow("fibonacci, bytes") << fibonacci << 15;
        QTest::newRow("fibonacci, lengths") << std::vector<quint32>(fibonacci.begin(), fibonacci.begin() + 19) << 7;
        std::vector<quint32> even(257, 40);
        QTest::newRow("every byte alike") << even << 15;
        std::vector<quint32> sparse(257, 0);
        sparse[3] = 5, sparse[256] = 1;
        QTest::newRow("one byte and the end") << sparse << 15;
        std::vector<quint32> lone(19, 0);
        lone[18] = 9;
        QTest::newRow("one symbol") << lone << 7;
    }
    void codeLengthsAreCompleteAndLimited()
    {
        QFETCH(std::vector<quint32>, counts);
        QFETCH(int, longest);
        const std::vector<quint8> lengths = PreviewPng::limitedCodeLengths(counts, longest);
        QCOMPARE(lengths.size(), counts.size());
        double kraft = 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            QVERIFY2(lengths[i] <= longest, qPrintable(QString::number(i)));
            if (counts[i])
                QVERIFY(lengths[i] > 0);
            if (lengths[i])
                kraft += std::ldexp(1.0, -lengths[i]);
            for (std::size_t j = 0; j < counts.size(); ++j) {
                if (counts[i] && counts[j] && counts[i] > counts[j])
                    QVERIFY(lengths[i] <= lengths[j]); // the more often, never the longer
            }
        }
        QCOMPARE(kraft, 1.0);
    }

    void hintsTellFactsWithNumbers_data()
    {
        QTest::addColumn<QString>("look");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("stock look on its own screen") << "stock" << QSize(1024, 768) << QStringList();
        QTest::newRow("stock background on a large screen")
            << "stock" << QSize(1920, 1200)
            << QStringList{"background 1024\u00d7768 is enlarged to 1920\u00d71440 to fill the 1920\u00d71200 screen"};
        QTest::newRow("changed look")
            << "changed" << QSize(1920, 1200)
            << QStringList{"logo 900\u00d7900 is drawn at 280\u00d7280",
                           "background 640\u00d7400 is enlarged to 1920\u00d71200 to fill the 1920\u00d71200 screen"};
        QTest::newRow("cut message") << "cut" << QSize(1024, 768)
                                     << QStringList{"message needs 9 lines at the panel's width; the panel shows 6"};
    }
    void hintsTellFactsWithNumbers()
    {
        QFETCH(QString, look);
        QFETCH(QSize, screen);
        QFETCH(QStringList, expected);
        LoginScreenRenderer renderer;
        const QStringList hints = fitnessHints(renderer.layout(scene(look), screen));
        QCOMPARE(hints.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(hints[i].startsWith(expected[i]), qPrintable(hints[i]));
    }

    void previewShowsWhatSaveInstalls()
    {
        // A transparent palette logo (which a naive TIFF writer turns black)
        // and a new background: the preview's pictures must be exactly the
        // pixels of the files the save then writes.
        QStandardPaths::setTestModeEnabled(true);
        SaveFixture fixture;
        QImage logo = transparentDisc(120, QColor(20, 160, 60)).convertToFormat(QImage::Format_Indexed8);
        const QString logoFile = fixture.volume.scratch() + QStringLiteral("/logo.png");
        QVERIFY(logo.save(logoFile));
        fixture.controller.setLogo(Image::referencingFile(logoFile));
        fixture.controller.setBackground(Image::fromPixels(bands({1600, 1000})));

        const PreviewScene scene = SavedPictures::prepareScene(previewSources(fixture.controller),
                                                               fixture.volume.volume(), &fixture.clock);
        QCOMPARE(qAlpha(scene.logo.pixel(0, 0)), 0);
        QVERIFY(fixture.controller.save().succeeded());

        const QImage installedLogo(fixture.host(LoginWindow::kLogoFirstPlace));
        const QImage installedBackground(fixture.host(LoginWindow::kInstalledBackground));
        QVERIFY(!installedLogo.isNull() && !installedBackground.isNull());
        auto same = [](const QImage &a, const QImage &b) {
            return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
        };
        QVERIFY(same(scene.logo, installedLogo));
        QVERIFY(same(scene.background, installedBackground));
        // After the save nothing is new: the preview reads the files as they are.
        const LookSources after = previewSources(fixture.controller);
        QVERIFY(!after.logo.asSaved && !after.background.asSaved);
    }
};

QTEST_MAIN(TestPreviewRenderer)
#include "tst_previewrenderer.moc"
