#pragma once

#include "platform/UniqueFd.h"
#include "platform/Volume.h"

#include <QString>

#include <chrono>
#include <memory>

// The locks a save holds from start to end, taken in this order:
//  - the user's own lock in the per-user support folder (two copies of the
//    application would overwrite each other's staging files);
//  - the volume's lock on this machine: a file named after the volume in
//    /tmp, locked with flock, so that saves by any user through any back
//    end take turns; the kernel lets go of it when its holder dies;
//  - the volume's lock on the volume itself, in the shared support folder,
//    when we may create files there, so that other machines take turns too.
// Each lock is the kernel's (flock) on its file, so a holder killed at any
// moment, even before it wrote a byte, lets go at once. The file also names
// its holder's machine: one written on another machine (which the kernel
// cannot see) blocks until nobody has touched it for longer than any save
// takes.
class SaveLock {
public:
    enum class Outcome { Held, Busy, Interrupted };

    SaveLock(const Volume &volume, QString userFolder);
    ~SaveLock();
    SaveLock(const SaveLock &) = delete;
    SaveLock &operator=(const SaveLock &) = delete;

    // Tries for at most `wait` in all.
    [[nodiscard]] Outcome acquire(std::chrono::milliseconds wait);
    // With Busy: the lock file another save holds.
    [[nodiscard]] const QString &busyLock() const { return m_busy; }
    // Marks the lock files as still in use, so that a long save is never
    // taken for a dead one.
    void refresh() const;
    void release();

    // The lock files (for messages and tests).
    [[nodiscard]] QString userLockPath() const;
    [[nodiscard]] QString machineLockPath() const;
    [[nodiscard]] QString volumeLockPath() const;

    // A lock file untouched for this long is stale whoever wrote it.
    static constexpr std::chrono::minutes kStaleAfter{30};

private:
    Volume m_volume;
    QString m_userFolder;
    // The lock files, each open and flock'ed while held.
    UniqueFd m_userLock;
    UniqueFd m_volumeLock;
    // The shared support folder, resolved inside the volume once and held
    // while its lock is: the lock file is reached through this descriptor,
    // so a folder swapped for a link meanwhile cannot put it off the volume.
    UniqueFd m_sharedFolder;
    int m_machineFd = -1;
    QString m_busy;
};
