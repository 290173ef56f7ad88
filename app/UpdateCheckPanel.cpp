#include "app/UpdateCheckPanel.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

UpdateCheckPanel::UpdateCheckPanel(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("updateCheckPanel"));
    setWindowTitle(QCoreApplication::translate("Lumora", "Check for Updates"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    auto *label =
        new QLabel(QCoreApplication::translate("Lumora", "Checking for a newer version of Lumora Login…"), this);
    layout->addWidget(label);
    auto *busy = new QProgressBar(this);
    busy->setObjectName(QStringLiteral("updateCheckBusy"));
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    layout->addWidget(busy);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton *cancel = buttons->button(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("updateCheckCancel"));
    cancel->setText(QCoreApplication::translate("Lumora", "Cancel"));
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateCheckPanel::reject);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

void UpdateCheckPanel::reject()
{
    emit cancelRequested();
    QDialog::reject();
}
