#include "platform/widgets/QtAlertPanel.h"

#include "platform/CrossThread.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStyle>
#include <QPushButton>
#include <QThread>
#include <QWidget>

#include <algorithm>

int QtAlertPanel::runAlert(const QString &title, const QString &message, const QString &defaultButton,
                           const QString &alternateButton, const QString &otherButton)
{
    return run(false, title, message, defaultButton, alternateButton, otherButton);
}

int QtAlertPanel::runInformation(const QString &title, const QString &message, const QString &defaultButton,
                                 const QString &alternateButton)
{
    return run(true, title, message, defaultButton, alternateButton, {});
}

int QtAlertPanel::run(bool information, const QString &title, const QString &message,
                      const QString &defaultButton, const QString &alternateButton, const QString &otherButton)
{
    if (QThread::currentThread() == qApp->thread())
        return runOnGuiThread(information, title, message, defaultButton, alternateButton, otherButton);
    // Should the call never reach the GUI thread, nobody answered.
    int answer = alternateButton.isEmpty() ? DefaultReturn : AlternateReturn;
    CrossThread::runBlocking(qApp, [&] {
        answer = runOnGuiThread(information, title, message, defaultButton, alternateButton, otherButton);
    });
    return answer;
}

int QtAlertPanel::runOnGuiThread(bool information, const QString &title, const QString &message,
                                 const QString &defaultButton, const QString &alternateButton,
                                 const QString &otherButton)
{
    QMessageBox box(m_parent);
    box.setObjectName(QStringLiteral("alertPanel"));
    box.setIcon(information ? QMessageBox::Information : QMessageBox::Warning);
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(title);
    box.setInformativeText(message);
    box.setTextFormat(Qt::PlainText);
    QPushButton *def = box.addButton(defaultButton, QMessageBox::AcceptRole);
    QPushButton *alt = alternateButton.isEmpty() ? nullptr
                                                 : box.addButton(alternateButton, QMessageBox::RejectRole);
    QPushButton *other = otherButton.isEmpty() ? nullptr
                                               : box.addButton(otherButton, QMessageBox::DestructiveRole);
    box.setDefaultButton(def);
    if (alt)
        box.setEscapeButton(alt);
    box.exec();
    const auto *clicked = box.clickedButton();
    if (clicked == def)
        return DefaultReturn;
    if (other && clicked == other)
        return OtherReturn;
    // The cancel-like answer, also when the panel ended with no button
    // pressed (hidden, rejected, its event loop told to exit): nobody chose
    // the default action, be it quitting or opening a download. A lone
    // button only acknowledges, so its answer is the only one there is.
    return alt ? AlternateReturn : DefaultReturn;
}

void QtAlertPanel::showAddress(const QString &title, const QString &message, const QString &address,
                               const QString &button)
{
    if (QThread::currentThread() == qApp->thread())
        showAddressOnGuiThread(title, message, address, button);
    else
        CrossThread::runBlocking(qApp, [&] { showAddressOnGuiThread(title, message, address, button); });
}

void QtAlertPanel::showAddressOnGuiThread(const QString &title, const QString &message, const QString &address,
                                          const QString &button)
{
    QDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("addressPanel"));
    dialog.setWindowTitle(QApplication::applicationDisplayName());
    auto *layout = new QGridLayout(&dialog);

    auto *icon = new QLabel(&dialog);
    const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &dialog).pixmap(size));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon, 0, 0, 3, 1);

    // Title and message as the other panels set them.
    auto *heading = new QLabel(title, &dialog);
    heading->setTextFormat(Qt::PlainText);
    layout->addWidget(heading, 0, 1);
    auto *text = new QLabel(message, &dialog);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text, 1, 1);

    auto *field = new QLineEdit(address, &dialog);
    field->setObjectName(QStringLiteral("addressField"));
    field->setReadOnly(true);
    field->setCursorPosition(0);
    field->selectAll();
    // Wide enough for a usual address; a longer one scrolls in the field.
    field->setMinimumWidth(std::min(field->fontMetrics().horizontalAdvance(address) + 24, 640));
    layout->addWidget(field, 2, 1);

    auto *buttons = new QDialogButtonBox(&dialog);
    QPushButton *copy = buttons->addButton(QCoreApplication::translate("Lumora", "Copy Address"),
                                           QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("copyAddress"));
    copy->setAutoDefault(false);
    QPushButton *ok = buttons->addButton(button, QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    QObject::connect(copy, &QPushButton::clicked, &dialog, [field, address] {
        QGuiApplication::clipboard()->setText(address);
        field->selectAll();
        field->setFocus();
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons, 3, 0, 1, 2);
    field->setFocus();
    dialog.exec();
}

void QtAlertPanel::beep()
{
    if (QThread::currentThread() == qApp->thread())
        QApplication::beep();
    else
        CrossThread::runBlocking(qApp, [] { QApplication::beep(); });
}

void QtAlertPanel::activateApplication()
{
    auto raise = [this] {
        QWidget *w = m_parent ? m_parent->window() : QApplication::activeWindow();
        if (w) {
            w->raise();
            w->activateWindow();
        }
    };
    if (QThread::currentThread() == qApp->thread())
        raise();
    else
        CrossThread::runBlocking(qApp, raise);
}
