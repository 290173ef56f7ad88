#include "app/HistoryDialog.h"

#include "controller/LumoraLogin.h"
#include "controller/MessageView.h"
#include "controller/PreviewSources.h"
#include "controller/SavedLooks.h"
#include "platform/AlertPanel.h"
#include "preview/LoginScreenRenderer.h"
#include "preview/SavedPictures.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr QSize kThumbnail{192, 144};

} // namespace

QImage HistoryDialog::drawLook(const LumoraLogin &controller, const LookHistory::Look &look, QSize screen)
{
    // A document of its own that nothing can save: the volume's look with
    // the kept one filled in, as the window would show it.
    LumoraContext context = controller.context();
    context.authorization = nullptr;
    MemoryMessageView view;
    LumoraLogin document(context);
    document.attachFrontEnd(&view, LumoraLogin::LaunchCheck::Skip);
    SavedLooks::fill(document, look);
    const PreviewScene scene = SavedPictures::prepareScene(previewSources(document), context.volume, context.clock);
    return LoginScreenRenderer().renderOnce(scene, screen);
}

HistoryDialog::HistoryDialog(const LumoraLogin &controller, QWidget *parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(QCoreApplication::translate("Lumora", "History of Saved Looks"));
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("historyList"));
    m_list->setIconSize(kThumbnail);
    m_list->setSpacing(4);
    auto *intro = new QLabel(QCoreApplication::translate(
        "Lumora", "Each save keeps the look it replaced. Choose one to show it; Save puts it back on the volume."));
    intro->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_restore = buttons->addButton(QCoreApplication::translate("Lumora", "Show This Look"), QDialogButtonBox::AcceptRole);
    m_restore->setObjectName(QStringLiteral("historyRestoreButton"));
    m_restore->setEnabled(false);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(560, 520);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QStringList refused;
    const QList<LookHistory::Look> looks = SavedLooks::list(controller, &refused);
    const QLocale locale;
    for (const LookHistory::Look &listed : looks) {
        QString why;
        // Read and checked now: a look whose pictures are damaged is named
        // in the list, not offered.
        const auto look = SavedLooks::read(controller, listed.id, &why);
        const QString when = locale.toString(listed.saved.toLocalTime(), QLocale::LongFormat);
        const QString message = listed.values.value(QStringLiteral("message")).toString().section(QLatin1Char('\n'), 0, 0);
        auto *item = new QListWidgetItem(m_list);
        item->setData(Qt::UserRole, listed.id);
        if (!look) {
            item->setText(when + QLatin1Char('\n') + why);
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
            continue;
        }
        item->setText(message.isEmpty() ? when : when + QLatin1Char('\n') + message);
        item->setIcon(QIcon(QPixmap::fromImage(
            drawLook(controller, *look, LoginScreenRenderer::kMinimumScreen)
                .scaled(kThumbnail, Qt::KeepAspectRatio, Qt::SmoothTransformation))));
    }
    for (const QString &why : refused) {
        auto *item = new QListWidgetItem(why, m_list);
        item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
    }
    if (m_list->count() == 0)
        new QListWidgetItem(QCoreApplication::translate("Lumora", "No look has been replaced by a save yet."), m_list);
    QApplication::restoreOverrideCursor();

    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *item) {
        m_restore->setEnabled(item && (item->flags() & Qt::ItemIsEnabled) && item->data(Qt::UserRole).isValid());
    });
    connect(m_list, &QListWidget::itemActivated, this, [this] {
        if (m_restore->isEnabled())
            choose();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &HistoryDialog::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void HistoryDialog::choose()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item || !item->data(Qt::UserRole).isValid())
        return;
    QString why;
    m_chosen = SavedLooks::read(m_controller, item->data(Qt::UserRole).toString(), &why);
    if (!m_chosen) {
        if (AlertPanel *alerts = m_controller.context().alerts)
            (void)alerts->runAlert(QCoreApplication::translate("Lumora", "This look cannot be shown"), why,
                                   QCoreApplication::translate("Lumora", "OK"));
        return;
    }
    accept();
}
