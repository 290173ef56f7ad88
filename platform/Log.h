#pragma once

#include <QString>

#include <functional>

// The system log: one line per message. The default sink writes each line
// to standard error and to syslog; tests and the command-line companion
// replace the sink. Safe to call from any thread.
namespace Log {

using Sink = std::function<void(const QString &line)>;

void write(const QString &line);

// Installs a sink and returns the previous one. An empty sink restores the
// default.
Sink setSink(Sink sink);

// The sink used when none is installed (standard error and syslog), for a
// sink that passes lines on. Call it only from inside a sink.
Sink defaultSink();

// Identifier given to syslog.
void setIdentity(const QString &name);

} // namespace Log
