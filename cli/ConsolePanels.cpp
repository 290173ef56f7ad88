#include "cli/ConsolePanels.h"

#include "platform/TerminalText.h"

void writeText(std::FILE *stream, const QString &text)
{
    // Settings, tool output and server answers all pass here on their way
    // to the terminal.
    const QByteArray bytes = TerminalText::safe(text).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

int ConsoleAlertPanel::runAlert(const QString &title, const QString &message, const QString &defaultButton,
                                const QString &alternateButton, const QString &otherButton)
{
    Q_UNUSED(defaultButton);
    Q_UNUSED(alternateButton);
    Q_UNUSED(otherButton);
    // A blank line between panels keeps each one a paragraph of its own.
    writeText(m_out, (m_titles.isEmpty() ? QString() : QStringLiteral("\n")) + title + QLatin1Char('\n')
                         + message + QLatin1Char('\n'));
    m_titles << title;
    return DefaultReturn;
}

void ConsoleAlertPanel::showAddress(const QString &title, const QString &message, const QString &address,
                                    const QString &button)
{
    (void)runAlert(title, message + QLatin1Char('\n') + address, button);
}

bool ConsoleWorkspace::openUrl(const QUrl &url)
{
    writeText(m_out, QStringLiteral("Download: ") + url.toString() + QLatin1Char('\n'));
    return true;
}
