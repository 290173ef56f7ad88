#include "platform/widgets/QtAlertPanel.h"

#include "platform/CrossThread.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QWidget>

int QtAlertPanel::runAlert(const QString &title, const QString &message, const QString &defaultButton,
                           const QString &alternateButton, const QString &otherButton)
{
    if (QThread::currentThread() == qApp->thread())
        return runOnGuiThread(title, message, defaultButton, alternateButton, otherButton);
    // Should the call never reach the GUI thread, nobody answered.
    int answer = alternateButton.isEmpty() ? DefaultReturn : AlternateReturn;
    CrossThread::runBlocking(
        qApp, [&] { answer = runOnGuiThread(title, message, defaultButton, alternateButton, otherButton); });
    return answer;
}

int QtAlertPanel::runOnGuiThread(const QString &title, const QString &message,
                                 const QString &defaultButton, const QString &alternateButton,
                                 const QString &otherButton)
{
    QMessageBox box(m_parent);
    box.setObjectName(QStringLiteral("alertPanel"));
    box.setIcon(QMessageBox::Warning);
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
