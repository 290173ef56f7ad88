#include "preview/LoginScreenRenderer.h"

#include "preview/PreviewFonts.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kGap = 12;
constexpr int kHostFontPx = 11;
constexpr int kMessageFontPx = 12;
constexpr int kLabelFontPx = 12;
constexpr int kFieldHeight = 24;
constexpr int kFieldSpacing = 8;
constexpr int kLabelWidth = 84;
constexpr int kButtonHeight = 26;
constexpr int kScreenMargin = 20;
constexpr int kUserRowHeight = 34;
constexpr int kMaxUserRows = 4;
constexpr QSize kInputMenuSize{46, 22};

const QColor kPanelColour(236, 236, 236, 242);
const QColor kHostColour(112, 112, 112);
const QColor kTextColour(30, 30, 30);
const QColor kNoBackground(64, 68, 74);

// The input menu as the login window shows it: the keyboard layout's flag
// and the menu's arrow on a light plate. Without words, as the real one.
void drawInputMenu(QPainter &p, const QRect &menu)
{
    p.setPen(QColor(255, 255, 255, 160));
    p.setBrush(QColor(236, 236, 236, 200));
    p.drawRoundedRect(QRectF(menu).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    const QRect flag(menu.left() + 7, menu.top() + 5, 18, menu.height() - 10);
    p.setPen(Qt::NoPen);
    for (int stripe = 0; stripe < 4; ++stripe) {
        p.setBrush(stripe % 2 ? QColor(245, 245, 245) : QColor(190, 40, 50));
        const int top = flag.top() + stripe * flag.height() / 4;
        p.drawRect(QRect(flag.left(), top, flag.width(), flag.top() + (stripe + 1) * flag.height() / 4 - top));
    }
    p.setBrush(QColor(40, 60, 130));
    p.drawRect(QRect(flag.left(), flag.top(), flag.width() / 2, flag.height() / 2));
    p.setBrush(kTextColour);
    const QPointF tip(menu.right() - 10, menu.center().y() + 3);
    const QPointF arrow[] = {tip + QPointF(-4, -5), tip + QPointF(4, -5), tip};
    p.drawPolygon(arrow, 3);
}

QSize fitted(QSize own, QSize box)
{
    if (own.isEmpty())
        return {};
    if (own.width() <= box.width() && own.height() <= box.height())
        return own;
    QSize size = own.scaled(box, Qt::KeepAspectRatio);
    return size.expandedTo(QSize(1, 1));
}

QString times(QSize size)
{
    return QStringLiteral("%1\u00d7%2").arg(size.width()).arg(size.height());
}

// The message broken into lines at the panel's width, paragraph by
// paragraph; an empty paragraph is an empty line.
QStringList wrapped(const QString &message, const QFont &font, int width)
{
    QStringList lines;
    if (message.isEmpty())
        return lines;
    QString text = message;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    return lines;
}

void drawButton(QPainter &p, const QRect &rect, const QString &text, bool isDefault)
{
    p.setPen(QColor(isDefault ? QColor(40, 90, 170) : QColor(150, 150, 150)));
    p.setBrush(isDefault ? QColor(72, 132, 214) : QColor(250, 250, 250));
    p.drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), kButtonHeight / 2.0, kButtonHeight / 2.0);
    p.setPen(isDefault ? Qt::white : kTextColour);
    p.drawText(rect, Qt::AlignCenter, text);
}

} // namespace

QImage LoginScreenRenderer::fillScaled(const QImage &picture, QSize screen)
{
    if (picture.isNull() || screen.isEmpty())
        return {};
    const double scale = std::max(double(screen.width()) / picture.width(),
                                  double(screen.height()) / picture.height());
    // The part of the picture that lands on the screen, centred.
    const double width = screen.width() / scale;
    const double height = screen.height() / scale;
    const QRect part = QRectF((picture.width() - width) / 2, (picture.height() - height) / 2, width, height)
                           .toAlignedRect()
                           .intersected(picture.rect());
    // The part is read in place where the pixels allow it (whole bytes, no
    // colour table), not copied first: scaling makes the new image.
    QImage cut;
    if (part == picture.rect()) {
        cut = picture;
    } else if (picture.depth() >= 8 && picture.colorCount() == 0) {
        cut = QImage(picture.constScanLine(part.top()) + qsizetype(part.left()) * (picture.depth() / 8),
                     part.width(), part.height(), picture.bytesPerLine(), picture.format());
        cut.setColorSpace(picture.colorSpace());
        if (cut.size() == screen)
            cut = cut.copy(); // not left pointing into the picture
    } else {
        cut = picture.copy(part);
    }
    if (cut.size() != screen)
        cut = cut.scaled(screen, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return cut.format() == QImage::Format_RGB32 ? cut : cut.convertToFormat(QImage::Format_RGB32);
}

PreviewLayout LoginScreenRenderer::layout(const PreviewScene &scene, QSize screen) const
{
    PreviewLayout l;
    l.screen = screen;
    const int inner = kPanelWidth - 2 * kPadding;
    const QFont hostFont = PreviewFonts::font(kHostFontPx);
    const QFont messageFont = PreviewFonts::font(kMessageFontPx, true);
    const QFont labelFont = PreviewFonts::font(kLabelFontPx);
    const int hostHeight = QFontMetrics(hostFont).height();
    l.lineHeight = QFontMetrics(messageFont).lineSpacing();

    l.backgroundSize = scene.background.isNull() ? scene.filledBackground.size() : scene.background.size();
    if (!l.backgroundSize.isEmpty()) {
        const double scale = std::max(double(screen.width()) / l.backgroundSize.width(),
                                      double(screen.height()) / l.backgroundSize.height());
        l.backgroundDrawn = QSize(int(std::lround(l.backgroundSize.width() * scale)),
                                  int(std::lround(l.backgroundSize.height() * scale)));
    }

    // A short screen gets smaller picture boxes, never a panel taller than it.
    const int maxPanelHeight = screen.height() - 2 * kScreenMargin;
    l.logoBox = QSize(inner, std::min(kLogoBoxHeight, screen.height() * 3 / 10));
    l.titleBox = QSize(inner, std::min(kTitleBoxHeight, screen.height() / 8));
    l.logoSize = scene.logo.size();
    l.titleSize = scene.title.size();
    const QSize logo = fitted(l.logoSize, l.logoBox);
    const QSize title = fitted(l.titleSize, l.titleBox);

    const QStringList lines = wrapped(scene.message, messageFont, inner);
    l.messageLinesNeeded = int(lines.size());
    // Without accounts to name, the list offers only "Other…".
    l.userNames = scene.userNames.mid(0, kMaxUserRows);
    if (l.userNames.isEmpty())
        l.userNames << QCoreApplication::translate("Lumora", "Other…");
    const int formHeight = scene.nameAndPassword ? 2 * kFieldHeight + kFieldSpacing
                                                 : int(l.userNames.size()) * kUserRowHeight + 2;
    // The list logs in with a click on a name: no Log In button.
    const bool buttonRow = scene.nameAndPassword || scene.powerButtons;
    const int fixedHeight = 2 * kPadding + (logo.isEmpty() ? 0 : logo.height() + kGap)
                            + (title.isEmpty() ? 0 : title.height() + kGap) + hostHeight + kGap + formHeight
                            + (buttonRow ? kGap + 4 + kButtonHeight : 0);
    int shown = std::min<int>(l.messageLinesNeeded, kMaxMessageLines);
    if (shown > 0) {
        const int room = (maxPanelHeight - fixedHeight - kGap) / std::max(1, l.lineHeight);
        shown = std::clamp(room, 1, shown);
    }
    l.messageLines = lines.mid(0, shown);
    if (shown < l.messageLinesNeeded) {
        const QFontMetrics metrics(messageFont);
        l.messageLines.last() = metrics.elidedText(l.messageLines.last() + QChar(0x2026), Qt::ElideRight, inner);
    }
    const int messageHeight = shown > 0 ? shown * l.lineHeight + kGap : 0;

    const int panelHeight = fixedHeight + messageHeight;
    l.panel = QRect((screen.width() - kPanelWidth) / 2, (screen.height() - panelHeight) / 2, kPanelWidth,
                    panelHeight);
    const int left = l.panel.left() + kPadding;
    int y = l.panel.top() + kPadding;
    if (!logo.isEmpty()) {
        l.logo = QRect(QPoint(l.panel.left() + (kPanelWidth - logo.width()) / 2, y), logo);
        y += logo.height() + kGap;
    }
    if (!title.isEmpty()) {
        l.title = QRect(QPoint(l.panel.left() + (kPanelWidth - title.width()) / 2, y), title);
        y += title.height() + kGap;
    }
    l.hostLine = QRect(left, y, inner, hostHeight);
    y += hostHeight + kGap;
    if (shown > 0) {
        l.message = QRect(left, y, inner, shown * l.lineHeight);
        y += messageHeight;
    }
    if (scene.nameAndPassword) {
        const int fieldLeft = left + kLabelWidth;
        const int fieldWidth = inner - kLabelWidth;
        l.nameLabel = QRect(left, y, kLabelWidth - 8, kFieldHeight);
        l.nameField = QRect(fieldLeft, y, fieldWidth, kFieldHeight);
        y += kFieldHeight + kFieldSpacing;
        l.passwordLabel = QRect(left, y, kLabelWidth - 8, kFieldHeight);
        l.passwordField = QRect(fieldLeft, y, fieldWidth, kFieldHeight);
        y += kFieldHeight;
    } else {
        l.userList = QRect(left, y, inner, formHeight);
        for (int i = 0; i < l.userNames.size(); ++i)
            l.userRows << QRect(left + 1, y + 1 + i * kUserRowHeight, inner - 2, kUserRowHeight);
        y += formHeight;
    }
    y += kGap + 4;

    const QFontMetrics labelMetrics(labelFont);
    auto buttonWidth = [&labelMetrics](const QString &text) {
        return std::max(84, labelMetrics.horizontalAdvance(text) + 28);
    };
    if (scene.powerButtons) {
        const QString restart = QCoreApplication::translate("Lumora", "Restart");
        const QString shutDown = QCoreApplication::translate("Lumora", "Shut Down");
        l.restart = QRect(left, y, buttonWidth(restart), kButtonHeight);
        l.shutDown = QRect(l.restart.right() + 1 + 8, y, buttonWidth(shutDown), kButtonHeight);
    }
    if (scene.nameAndPassword) {
        const int logInWidth = buttonWidth(QCoreApplication::translate("Lumora", "Log In"));
        l.logIn = QRect(left + inner - logInWidth, y, logInWidth, kButtonHeight);
    }
    if (scene.inputMenu)
        l.inputMenu = QRect(screen.width() - kScreenMargin - kInputMenuSize.width(), 6, kInputMenuSize.width(),
                            kInputMenuSize.height());
    return l;
}

const QImage &LoginScreenRenderer::scaledOnce(Cached &cache, const QImage &picture, QSize size, bool fill)
{
    if (cache.key != picture.cacheKey() || cache.size != size || cache.image.isNull()) {
        cache.key = picture.cacheKey();
        cache.size = size;
        cache.image = fill ? fillScaled(picture, size)
                           : (picture.size() == size ? picture
                                                     : picture.scaled(size, Qt::IgnoreAspectRatio,
                                                                      Qt::SmoothTransformation));
    }
    return cache.image;
}

QImage LoginScreenRenderer::render(const PreviewScene &scene, QSize screen)
{
    QImage canvas(screen, QImage::Format_RGB32);
    if (scene.filledBackground.size() == screen) {
        QPainter(&canvas).drawImage(0, 0, scene.filledBackground);
    } else if (!scene.background.isNull()) {
        QPainter(&canvas).drawImage(0, 0, scaledOnce(m_cache[0], scene.background, screen, true));
    } else {
        canvas.fill(kNoBackground);
    }
    drawOver(canvas, scene);
    return canvas;
}

QImage LoginScreenRenderer::renderOnce(const PreviewScene &scene, QSize screen)
{
    // The scaled background is the canvas itself: no copy of a screenful
    // of pixels is drawn onto another.
    QImage canvas;
    if (scene.filledBackground.size() == screen) {
        canvas = scene.filledBackground;
    } else if (!scene.background.isNull()) {
        canvas = fillScaled(scene.background, screen);
    }
    if (canvas.isNull()) {
        canvas = QImage(screen, QImage::Format_RGB32);
        canvas.fill(kNoBackground);
    } else if (canvas.format() != QImage::Format_RGB32) {
        canvas = canvas.convertToFormat(QImage::Format_RGB32);
    }
    drawOver(canvas, scene);
    return canvas;
}

void LoginScreenRenderer::drawOver(QImage &canvas, const PreviewScene &scene)
{
    const PreviewLayout l = layout(scene, canvas.size());
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    // The panel, with a soft shadow under it.
    p.setPen(Qt::NoPen);
    for (int i = 1; i <= 4; ++i) {
        p.setBrush(QColor(0, 0, 0, 18));
        p.drawRoundedRect(QRectF(l.panel).adjusted(-i, -i + 3, i, i + 3), 12 + i, 12 + i);
    }
    p.setBrush(kPanelColour);
    p.setPen(QColor(255, 255, 255, 200));
    p.drawRoundedRect(QRectF(l.panel).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);

    if (!l.logo.isEmpty())
        p.drawImage(l.logo.topLeft(), scaledOnce(m_cache[1], scene.logo, l.logo.size(), false));
    if (!l.title.isEmpty())
        p.drawImage(l.title.topLeft(), scaledOnce(m_cache[2], scene.title, l.title.size(), false));

    const QFont hostFont = PreviewFonts::font(kHostFontPx);
    p.setFont(hostFont);
    p.setPen(kHostColour);
    p.drawText(l.hostLine, Qt::AlignHCenter | Qt::AlignTop,
               QFontMetrics(hostFont).elidedText(scene.hostLine, Qt::ElideRight, l.hostLine.width()));

    p.setFont(PreviewFonts::font(kMessageFontPx, true));
    p.setPen(kTextColour);
    for (int i = 0; i < l.messageLines.size(); ++i) {
        const QRect line(l.message.left(), l.message.top() + i * l.lineHeight, l.message.width(), l.lineHeight);
        p.drawText(line, Qt::AlignHCenter | Qt::AlignTop, l.messageLines[i]);
    }

    p.setFont(PreviewFonts::font(kLabelFontPx));
    if (!l.nameField.isEmpty()) {
        p.setPen(kTextColour);
        p.drawText(l.nameLabel, Qt::AlignRight | Qt::AlignVCenter, QCoreApplication::translate("Lumora", "Name"));
        p.drawText(l.passwordLabel, Qt::AlignRight | Qt::AlignVCenter,
                   QCoreApplication::translate("Lumora", "Password"));
        p.setPen(QColor(150, 150, 150));
        p.setBrush(Qt::white);
        for (const QRect &field : {l.nameField, l.passwordField})
            p.drawRoundedRect(QRectF(field).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
    if (!l.userList.isEmpty()) {
        p.setPen(QColor(150, 150, 150));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(l.userList).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        for (int i = 0; i < l.userRows.size(); ++i) {
            const QRect row = l.userRows[i];
            if (i > 0) {
                p.setPen(QColor(222, 222, 222));
                p.drawLine(row.left() + 8, row.top(), row.right() - 8, row.top());
            }
            // A plain silhouette stands for the account's picture.
            const QRect picture(row.left() + 8, row.top() + 5, row.height() - 10, row.height() - 10);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(176, 184, 196));
            p.drawRoundedRect(QRectF(picture), 4, 4);
            p.setBrush(QColor(244, 246, 250));
            p.drawEllipse(QRectF(picture.center().x() - 4.5, picture.top() + 4, 9, 9));
            p.drawChord(QRectF(picture.left() + 4, picture.top() + 14, picture.width() - 8, 16), 0, 180 * 16);
            p.setPen(kTextColour);
            p.drawText(row.adjusted(picture.width() + 18, 0, -8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       l.userNames[i]);
        }
    }

    if (!l.restart.isEmpty()) {
        drawButton(p, l.restart, QCoreApplication::translate("Lumora", "Restart"), false);
        drawButton(p, l.shutDown, QCoreApplication::translate("Lumora", "Shut Down"), false);
    }
    if (!l.logIn.isEmpty())
        drawButton(p, l.logIn, QCoreApplication::translate("Lumora", "Log In"), true);
    if (!l.inputMenu.isEmpty())
        drawInputMenu(p, l.inputMenu);
}

QStringList fitnessHints(const PreviewLayout &layout)
{
    QStringList hints;
    auto picture = [&hints](const char *what, QSize own, const QRect &drawn, QSize box) {
        if (!own.isEmpty() && drawn.size() != own)
            hints << QCoreApplication::translate("Lumora", "%1 %2 is drawn at %3 (the panel gives it at most %4)")
                         .arg(QCoreApplication::translate("Lumora", what), times(own), times(drawn.size()), times(box));
    };
    picture(QT_TRANSLATE_NOOP("Lumora", "logo"), layout.logoSize, layout.logo, layout.logoBox);
    picture(QT_TRANSLATE_NOOP("Lumora", "title"), layout.titleSize, layout.title, layout.titleBox);
    if (layout.backgroundSize.isEmpty()) {
        hints << QCoreApplication::translate("Lumora",
                                             "no background picture can be read; the screen is drawn plain grey");
    } else if (layout.backgroundSize.width() < layout.screen.width()
               || layout.backgroundSize.height() < layout.screen.height()) {
        hints << QCoreApplication::translate(
                     "Lumora", "background %1 is enlarged to %2 to fill the %3 screen, so it looks blurred")
                     .arg(times(layout.backgroundSize), times(layout.backgroundDrawn), times(layout.screen));
    }
    if (layout.messageLinesNeeded > layout.messageLines.size())
        hints << QCoreApplication::translate("Lumora",
                                             "message needs %1 lines at the panel's width; the panel shows %2")
                     .arg(layout.messageLinesNeeded)
                     .arg(layout.messageLines.size());
    return hints;
}
