#include "platform/widgets/QtPasswordDialog.h"

#include "platform/CrossThread.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

QtPasswordDialog::QtPasswordDialog(QWidget *parent) : m_parent(parent) {}

std::optional<QByteArray> QtPasswordDialog::askPassword(const QString &reason, const QString &complaint)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return askOnGuiThread(reason, complaint);
    // A save runs its steps on a worker: the GUI thread shows the dialog
    // while the worker waits for the answer.
    std::optional<QByteArray> answer;
    CrossThread::runBlocking(app, [&] { answer = askOnGuiThread(reason, complaint); });
    return answer;
}

std::optional<QByteArray> QtPasswordDialog::askOnGuiThread(const QString &reason, const QString &complaint)
{
    QString appName = QCoreApplication::applicationName();
    if (appName.isEmpty())
        appName = QStringLiteral("Lumora Login");

    QDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("passwordDialog"));
    dialog.setWindowTitle(appName);
    dialog.setModal(true);

    auto *layout = new QVBoxLayout(&dialog);
    auto *heading = new QLabel(QStringLiteral("<b>%1</b>").arg(appName.toHtmlEscaped()), &dialog);
    heading->setObjectName(QStringLiteral("passwordHeading"));
    layout->addWidget(heading);
    auto *explanation = new QLabel(reason, &dialog);
    explanation->setObjectName(QStringLiteral("passwordReason"));
    explanation->setWordWrap(true);
    explanation->setTextFormat(Qt::PlainText);
    layout->addWidget(explanation);

    auto *field = new QLineEdit(&dialog);
    field->setObjectName(QStringLiteral("passwordField"));
    field->setEchoMode(QLineEdit::Password);
    field->setPlaceholderText(QCoreApplication::translate("Lumora", "Password"));
    layout->addWidget(field);

    // Why it asks again, right under the field the user retypes in.
    auto *problem = new QLabel(complaint, &dialog);
    problem->setObjectName(QStringLiteral("passwordComplaint"));
    problem->setTextFormat(Qt::PlainText);
    QPalette warning = problem->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x1c, 0x1c));
    problem->setPalette(warning);
    problem->setVisible(!complaint.isEmpty());
    layout->addWidget(problem);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel | QDialogButtonBox::Ok, &dialog);
    buttons->setObjectName(QStringLiteral("passwordButtons"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("passwordOk"));
    buttons->button(QDialogButtonBox::Ok)->setText(QCoreApplication::translate("Lumora", "OK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("passwordCancel"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QCoreApplication::translate("Lumora", "Cancel"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    field->setFocus();

    const bool accepted = dialog.exec() == QDialog::Accepted;
    QString text = field->text();
    field->clear();
    std::optional<QByteArray> password;
    if (accepted)
        password = text.toUtf8();
    // Best effort: Qt keeps no undo history for a password field, and our
    // own copy of the text is overwritten before it is released.
    text.fill(QChar(0));
    return password;
}
