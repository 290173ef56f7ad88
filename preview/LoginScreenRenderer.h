#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>

class QPainter;

// What one preview shows: decoded pictures and texts.
struct PreviewScene {
    QImage background;
    // Optional: the background already fill-scaled to the screen (by a
    // worker thread); used when its size is the screen's.
    QImage filledBackground;
    QImage logo;
    QImage title;
    QString message;
    QString hostLine;
    // Name and password fields, or else the list of users with these names.
    bool nameAndPassword = false;
    QStringList userNames;
    // The Sleep, Restart and Shut Down buttons.
    bool powerButtons = true;
    // The input menu in the screen's top right corner.
    bool inputMenu = false;
};

// Where everything goes on one screen, and the facts the hints tell.
struct PreviewLayout {
    QSize screen;
    QRect panel;
    QRect logo;  // drawn rectangle; empty without a logo
    QRect title;
    QRect hostLine;
    QRect message;
    QRect nameLabel, nameField, passwordLabel, passwordField; // empty with the list
    QRect userList;                                          // empty with the fields
    QList<QRect> userRows;
    QStringList userNames; // as drawn in the rows
    QRect restart, shutDown, logIn; // empty when not shown
    QRect inputMenu;                // empty when not shown
    QSize logoBox;  // the most the panel gives the logo
    QSize titleBox;
    QSize logoSize; // the pictures' own sizes
    QSize titleSize;
    QSize backgroundSize;
    QSize backgroundDrawn; // the background at the scale that fills the screen
    QStringList messageLines; // as drawn (the last one elided when cut)
    int messageLinesNeeded = 0;
    int lineHeight = 0;
};

// Draws the login screen: the background filling the screen (scaled,
// centred, aspect kept), and a light panel centred on it holding the logo,
// the title under it (each at its own size, scaled down only to fit the
// panel), the host-information line, the message wrapped to the panel,
// the name and password fields (or the list of users) and the buttons.
// Keeps the scaled pictures of the last call, so redrawing the same
// pictures with another message costs only the drawing. One thread only.
class LoginScreenRenderer {
public:
    static constexpr QSize kMinimumScreen{800, 600};
    static constexpr QSize kMaximumScreen{5120, 3200};
    static constexpr int kPanelWidth = 460;
    static constexpr int kPadding = 24;
    static constexpr int kLogoBoxHeight = 280;
    static constexpr int kTitleBoxHeight = 100;
    static constexpr int kMaxMessageLines = 6;

    [[nodiscard]] PreviewLayout layout(const PreviewScene &scene, QSize screen) const;
    [[nodiscard]] QImage render(const PreviewScene &scene, QSize screen);
    // The same drawing for a caller that draws once: nothing is kept, and
    // the scaled background becomes the drawing itself.
    [[nodiscard]] QImage renderOnce(const PreviewScene &scene, QSize screen);

    // The picture scaled to cover `screen` with its aspect kept, centred
    // and cut at the sides that overflow. Safe on any thread.
    [[nodiscard]] static QImage fillScaled(const QImage &picture, QSize screen);

private:
    struct Cached {
        qint64 key = 0;
        QSize size;
        QImage image;
    };
    const QImage &scaledOnce(Cached &cache, const QImage &picture, QSize size, bool fill);
    // The panel and everything on it, over the background.
    void drawOver(QImage &canvas, const PreviewScene &scene);
    std::array<Cached, 3> m_cache; // background, logo, title
};

// Facts about a layout worth telling before saving: pictures drawn smaller
// than they are, a background enlarged to fill the screen, a message cut.
[[nodiscard]] QStringList fitnessHints(const PreviewLayout &layout);
