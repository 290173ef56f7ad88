#pragma once

#include "platform/UniqueFd.h"
#include "platform/Volume.h"

#include <QString>

#include <chrono>
#include <memory>

class QLockFile;

// The locks a save holds from start to end, taken in this order:
//  - the user's own lock in the per-user support folder (two copies of the
//    application would overwrite each other's staging files);
//  - the volume's lock on this machine: a file named after the volume in
//    /tmp, locked with flock, so that saves by any user through any back
//    end take turns; the kernel lets go of it when its holder dies;
//  - the volume's lock on the volume itself, in the shared support folder,
//    when we may create files there, so that other machines take turns too.
// A lock file whose holder is gone (this machine: its process no longer
// runs; another machine: nothing can tell, so by age) or which nobody has
// touched for longer than any save takes no longer blocks.
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

    // The volume's lock file as it is reached while it is held.
    [[nodiscard]] QString heldVolumeLockPath() const;

    // A lock file untouched for this long is stale whoever wrote it.
    static constexpr std::chrono::minutes kStaleAfter{30};

private:
    Volume m_volume;
    QString m_userFolder;
    std::unique_ptr<QLockFile> m_userLock;
    std::unique_ptr<QLockFile> m_volumeLock;
    // The shared support folder, resolved inside the volume once and held
    // while its lock is: the lock file is reached through this descriptor,
    // so a folder swapped for a link meanwhile cannot put it off the volume.
    UniqueFd m_sharedFolder;
    int m_machineFd = -1;
    QString m_busy;
};
