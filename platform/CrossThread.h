#pragma once

#include <QObject>

#include <functional>

// Work handed from a worker to the thread of a QObject (the GUI thread):
// the password dialog, alerts, the reload after a save. Qt's own queue
// orders the hand-off, but its locking is invisible to the thread
// sanitizer; these calls add a lock of our own around it so the order is
// seen.
namespace CrossThread {

// Runs `work` on `target`'s thread and waits until it has run; on that
// thread itself, runs it at once. `target` must outlive the call.
void runBlocking(QObject *target, const std::function<void()> &work);

// Queues `work` for `target`'s thread and returns; dropped if `target`
// goes away first.
void post(QObject *target, std::function<void()> work);

} // namespace CrossThread
