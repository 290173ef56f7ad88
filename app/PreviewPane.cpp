#include "app/PreviewPane.h"

#include "controller/LumoraLogin.h"
#include "controller/PreviewSources.h"
#include "preview/HostLine.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// Shows the drawing scaled into its own rectangle, the aspect kept. The
// scaled copy is made once per drawing and size, not on every paint, at the
// screen's device pixels: at 2x a copy of the widget's own size would be
// doubled up again and look blurred.
class PreviewCanvas final : public QWidget {
public:
    explicit PreviewCanvas(QWidget *parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("previewCanvas"));
        setMinimumSize(320, 200);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setAccessibleName(QCoreApplication::translate("Lumora", "Preview of the login window"));
    }
    void setPicture(const QImage &picture)
    {
        m_picture = picture;
        m_scaled = QImage();
        update();
    }
    [[nodiscard]] const QImage &shown() const { return m_scaled; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        if (m_picture.isNull())
            return;
        const qreal ratio = devicePixelRatioF();
        const QSize size = m_picture.size().scaled(this->size(), Qt::KeepAspectRatio);
        const QSize pixels = (QSizeF(size) * ratio).toSize();
        if (m_scaled.size() != pixels || m_scaled.devicePixelRatio() != ratio) {
            m_scaled = m_picture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            m_scaled.setDevicePixelRatio(ratio);
        }
        p.drawImage(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), m_scaled);
    }

private:
    QImage m_picture;
    QImage m_scaled;
};

QString sizeLabel(QSize size)
{
    return QStringLiteral("%1 \u00d7 %2").arg(size.width()).arg(size.height());
}

} // namespace

const QList<QSize> PreviewPane::kScreenSizes{{1024, 768}, {1280, 854}, {1440, 900}, {1920, 1200}};

PreviewPane::PreviewPane(LumoraLogin &controller, QWidget *parent)
    : QWidget(parent), m_controller(controller), m_screen(kScreenSizes.first())
{
    setObjectName(QStringLiteral("previewPane"));
    m_canvas = new PreviewCanvas(this);

    m_sizeChooser = new QComboBox(this);
    m_sizeChooser->setObjectName(QStringLiteral("previewSizeChooser"));
    for (const QSize &size : kScreenSizes)
        m_sizeChooser->addItem(sizeLabel(size), size);
    m_preparing = new QLabel(QCoreApplication::translate("Lumora", "Preparing pictures…"), this);
    m_preparing->setObjectName(QStringLiteral("previewPreparing"));
    m_preparing->setForegroundRole(QPalette::PlaceholderText);
    m_hintsLabel = new QLabel(this);
    m_hintsLabel->setObjectName(QStringLiteral("previewHints"));
    m_hintsLabel->setWordWrap(true);
    m_hintsLabel->setTextFormat(Qt::PlainText);
    m_hintsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *top = new QHBoxLayout;
    auto *sizeText = new QLabel(QCoreApplication::translate("Lumora", "Screen:"), this);
    sizeText->setBuddy(m_sizeChooser);
    top->addWidget(sizeText);
    top->addWidget(m_sizeChooser);
    top->addStretch(1);
    top->addWidget(m_preparing);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(top);
    layout->addWidget(m_canvas, 1);
    layout->addWidget(m_hintsLabel);

    // Several signals of one edit make one drawing.
    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(0);
    connect(&m_redrawTimer, &QTimer::timeout, this, &PreviewPane::redraw);
    connect(&m_preparer, &PreviewPreparer::picturesChanged, this, &PreviewPane::scheduleRedraw);
    connect(m_sizeChooser, &QComboBox::activated, this,
            [this](int index) { setScreenSize(m_sizeChooser->itemData(index).toSize()); });

    connect(&m_controller.document(), &SettingsDocument::settingSet, this, [this](Setting setting) {
        if (setting == Setting::HostInfo)
            hostInfoChanged();
        else if (setting == Setting::Logo || setting == Setting::Title || setting == Setting::Background)
            picturesChanged();
        else
            scheduleRedraw();
    });
    connect(&m_controller.document(), &SettingsDocument::flagsChanged, this, &PreviewPane::picturesChanged);
    connect(&m_controller.document(), &SettingsDocument::messageEdited, this, &PreviewPane::scheduleRedraw);
    // After a save the volume may name the release or computer anew.
    connect(&m_controller, &LumoraLogin::saveFinished, this, &PreviewPane::hostInfoChanged);

    m_preparer.setScreenSize(m_screen);
    picturesChanged();
    hostInfoChanged();
}

void PreviewPane::setScreenSize(QSize screen)
{
    m_screen = screen;
    m_sizeChooser->setCurrentIndex(m_sizeChooser->findData(screen));
    m_preparer.setScreenSize(screen);
    scheduleRedraw();
}

void PreviewPane::picturesChanged()
{
    // Dirty flags decide whether a picture is shown as Save would write it.
    const LookSources sources = previewSources(m_controller);
    m_preparer.setPicture(Picture::Logo, sources.logo);
    m_preparer.setPicture(Picture::Title, sources.title);
    m_preparer.setPicture(Picture::Background, sources.background);
    scheduleRedraw();
}

void PreviewPane::hostInfoChanged()
{
    const LumoraContext &context = m_controller.context();
    m_hostLine = HostLine::resolve(context.volume, m_controller.hostInfoTag(), context.clock).text;
    m_userNames = SavedPictures::userNames(context.volume);
    scheduleRedraw();
}

void PreviewPane::scheduleRedraw()
{
    // A window being shown is put on the screen first: drawing now would
    // hold back its first paint. The drawing follows once it is exposed.
    QWindow *shownIn = window()->windowHandle();
    if (window()->isVisible() && shownIn && !shownIn->isExposed()) {
        if (m_waitingFor != shownIn) {
            if (m_waitingFor)
                m_waitingFor->removeEventFilter(this);
            m_waitingFor = shownIn;
            shownIn->installEventFilter(this);
        }
        return;
    }
    m_redrawTimer.start();
}

bool PreviewPane::eventFilter(QObject *watched, QEvent *event)
{
    // Started after the expose has been handled, so after the window's
    // first paint.
    if (watched == m_waitingFor && event->type() == QEvent::Expose) {
        m_waitingFor->removeEventFilter(this);
        m_waitingFor = nullptr;
        m_redrawTimer.start();
    }
    return QWidget::eventFilter(watched, event);
}

void PreviewPane::redraw()
{
    PreviewScene scene;
    scene.background = m_preparer.picture(Picture::Background);
    scene.filledBackground = m_preparer.filledBackground();
    // While a new size is being prepared, the old scaling stands in.
    if (!scene.filledBackground.isNull() && scene.filledBackground.size() != m_screen)
        scene.filledBackground = scene.filledBackground.scaled(m_screen);
    scene.logo = m_preparer.picture(Picture::Logo);
    scene.title = m_preparer.picture(Picture::Title);
    scene.message = m_controller.message().value_or(QString());
    LookSources sources;
    previewLoginOptions(m_controller, sources);
    scene.nameAndPassword = sources.nameAndPassword;
    scene.powerButtons = sources.powerButtons;
    scene.inputMenu = sources.inputMenu;
    scene.userNames = m_userNames;
    scene.hostLine = m_controller.hostInfoTag() == 0
                         ? HostLine::resolve(m_controller.context().volume, 0, m_controller.context().clock).text
                         : m_hostLine;
    m_picture = m_renderer.render(scene, m_screen);
    m_hints = m_preparer.isBusy() ? QStringList() : fitnessHints(m_renderer.layout(scene, m_screen));
    static_cast<PreviewCanvas *>(m_canvas)->setPicture(m_picture);
    m_hintsLabel->setText(m_hints.isEmpty() ? QString() : QStringLiteral("\u2022 ") + m_hints.join(QStringLiteral("\n\u2022 ")));
    m_hintsLabel->setVisible(!m_hints.isEmpty());
    m_preparing->setVisible(m_preparer.isBusy());
    m_canvas->setAccessibleDescription(describe(scene));
    emit redrawn();
}

const QImage &PreviewPane::shownPicture() const
{
    return static_cast<PreviewCanvas *>(m_canvas)->shown();
}

QString PreviewPane::describe(const PreviewScene &scene) const
{
    // What a sighted user takes in at a glance, for a screen reader.
    const QString none = QCoreApplication::translate("Lumora", "none");
    const QString message = scene.message.trimmed().isEmpty() ? none : scene.message.simplified();
    QString text = QCoreApplication::translate("Lumora",
                                               "The login screen at %1 as Save would leave it. Logo: %2. Title: %3. "
                                               "Host information: %4. Message: %5.")
                       .arg(sizeLabel(m_screen), scene.logo.isNull() ? none : sizeLabel(scene.logo.size()),
                            scene.title.isNull() ? none : sizeLabel(scene.title.size()),
                            scene.hostLine.isEmpty() ? none : scene.hostLine, message);
    text += QLatin1Char(' ');
    text += scene.nameAndPassword ? QCoreApplication::translate("Lumora", "Name and password fields.")
                                  : QCoreApplication::translate("Lumora", "A list of users.");
    if (!m_hints.isEmpty())
        text += QLatin1Char(' ') + m_hints.join(QStringLiteral(". ")) + QLatin1Char('.');
    return text;
}

QDockWidget *installPreview(QMainWindow &window, LumoraLogin &controller)
{
    auto *dock = new QDockWidget(QCoreApplication::translate("Lumora", "Preview of the login window"), &window);
    dock->setObjectName(QStringLiteral("previewDock"));
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                      | QDockWidget::DockWidgetFloatable);
    auto *pane = new PreviewPane(controller, dock);
    pane->setMinimumWidth(PreviewPane::kPaneWidth - 40);
    dock->setWidget(pane);
    window.addDockWidget(Qt::RightDockWidgetArea, dock);

    QAction *toggle = dock->toggleViewAction();
    toggle->setObjectName(QStringLiteral("previewAction"));
    toggle->setText(QCoreApplication::translate("Lumora", "&Preview"));
    toggle->setToolTip(QCoreApplication::translate("Lumora", "Show or hide the preview of the login window"));
    toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    auto *view = new QMenu(QCoreApplication::translate("Lumora", "&View"), &window);
    view->addAction(toggle);
    // Before the Help menu, which comes last.
    const QList<QAction *> menus = window.menuBar()->actions();
    window.menuBar()->insertMenu(menus.isEmpty() ? nullptr : menus.last(), view);

    auto *button = new QToolButton(&window);
    button->setObjectName(QStringLiteral("previewButton"));
    button->setDefaultAction(toggle);
    button->setAutoRaise(true);
    window.statusBar()->addPermanentWidget(button);

    return dock;
}
