#include "platform/Log.h"

#include "platform/TerminalText.h"

#include <QByteArray>

#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace {

std::mutex g_mutex;
Log::Sink g_sink;
QByteArray g_identity = "Lumora Login";
bool g_syslogOpen = false;

void writeToTerminalAndSyslog(const QString &line)
{
    // A line may carry a file name from the volume or what a tool said.
    const QByteArray bytes = TerminalText::safe(line).toUtf8();
    std::fprintf(stderr, "%s: %s\n", g_identity.constData(), bytes.constData());
    std::fflush(stderr);
    if (!g_syslogOpen) {
        openlog(g_identity.constData(), LOG_PID, LOG_USER);
        g_syslogOpen = true;
    }
    syslog(LOG_NOTICE, "%s", bytes.constData());
}

} // namespace

namespace Log {

void write(const QString &line)
{
    std::lock_guard lock(g_mutex);
    if (g_sink)
        g_sink(line);
    else
        writeToTerminalAndSyslog(line);
}

Sink setSink(Sink sink)
{
    std::lock_guard lock(g_mutex);
    Sink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

Sink defaultSink()
{
    return &writeToTerminalAndSyslog;
}

void setIdentity(const QString &name)
{
    std::lock_guard lock(g_mutex);
    g_identity = name.toUtf8();
    if (g_syslogOpen) {
        closelog();
        g_syslogOpen = false;
    }
}

} // namespace Log
