#include "app/SaveStatus.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

SaveStatus::SaveStatus(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("saveStatus"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_busy = new QProgressBar(this);
    m_busy->setObjectName(QStringLiteral("saveBusy"));
    m_busy->setRange(0, 0); // no end known: the bar only says "working"
    m_busy->setTextVisible(false);
    m_busy->setFixedWidth(80);
    m_busy->setMaximumHeight(12);
    row->addWidget(m_busy);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("saveStatusText"));
    m_label->setTextFormat(Qt::PlainText);
    // A long outcome wraps rather than widening the window past a small screen.
    m_label->setWordWrap(true);
    row->addWidget(m_label, 1);
    m_details = new QPushButton(QCoreApplication::translate("Lumora", "Details…"), this);
    m_details->setObjectName(QStringLiteral("saveDetailsButton"));
    m_details->setFlat(true);
    row->addWidget(m_details);
    connect(m_details, &QPushButton::clicked, this, &SaveStatus::showDetails);
    clear();
}

void SaveStatus::showBusy(const QString &text)
{
    m_failure = false;
    m_logLines.clear();
    m_label->setText(text);
    m_busy->show();
    m_details->hide();
    show();
}

void SaveStatus::showFailure(const QString &text, const QStringList &logLines)
{
    m_failure = true;
    m_logLines = logLines;
    QPalette warning = m_label->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x1c, 0x1c));
    m_label->setPalette(warning);
    m_label->setText(text);
    m_busy->hide();
    m_details->show();
    show();
}

void SaveStatus::showSaved(const QString &text)
{
    m_failure = false;
    m_logLines.clear();
    m_label->setPalette(QPalette());
    m_label->setText(text);
    m_busy->hide();
    m_details->hide();
    show();
}

void SaveStatus::clear()
{
    m_failure = false;
    m_logLines.clear();
    m_label->setPalette(QPalette());
    m_label->clear();
    hide();
}

QString SaveStatus::text() const
{
    return isHidden() ? QString() : m_label->text();
}

void SaveStatus::showDetails()
{
    auto *dialog = new QDialog(window());
    dialog->setObjectName(QStringLiteral("saveDetails"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QCoreApplication::translate("Lumora", "What the save did"));
    auto *layout = new QVBoxLayout(dialog);
    auto *intro = new QLabel(QCoreApplication::translate("Lumora", "The log lines written while saving:"), dialog);
    layout->addWidget(intro);
    auto *lines = new QPlainTextEdit(dialog);
    lines->setObjectName(QStringLiteral("saveDetailsLines"));
    lines->setReadOnly(true);
    // A tool's own words can be long; all of each line stays in view.
    lines->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The runner's line names a second tool that never exists; a person
    // needs only the first.
    QStringList shown = m_logLines;
    shown.replaceInStrings(QStringLiteral(" and '(null)'"), QString());
    shown.replaceInStrings(QStringLiteral("for tools '"), QStringLiteral("for tool '"));
    lines->setPlainText(shown.isEmpty() ? QCoreApplication::translate("Lumora", "(nothing was logged)")
                                        : shown.join(QLatin1Char('\n')));
    layout->addWidget(lines);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    // Qt's own catalogue may not be installed; ours always is.
    buttons->button(QDialogButtonBox::Close)->setText(QCoreApplication::translate("Lumora", "Close"));
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    dialog->resize(620, 260);
    dialog->show();
}
