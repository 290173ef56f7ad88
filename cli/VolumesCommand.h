#pragma once

#include "cli/CommandLine.h"
#include "platform/Volume.h"
#include "platform/VolumeFinder.h"

#include <QList>

#include <cstdio>
#include <optional>

// `volumes`: the Mac OS X volumes found on this machine.
// Plain: one block per volume; --json: an array of objects with the keys
// name, release, releaseText, path, access ("writable", "administrator",
// "read-only") and sample.
[[nodiscard]] int listVolumes(const QList<FoundVolume> &volumes, bool json, std::FILE *out = stdout);

// The one gate before any command that reads or writes the volume: a folder
// that is not a Mac OS X system volume is neither shown nor edited. Returns
// the exit status (2, with the reason on `err`) when the command must stop;
// nothing when it may go on. Only the commands that do not touch the volume
// pass without the test, so a new command is refused unless it is listed.
[[nodiscard]] std::optional<int> refuseUnlessVolume(CtlRequest::Command command, const Volume &volume,
                                                    std::FILE *err = stderr);

// Before set or restore write anything (or ask for a password): a volume
// that nothing can be saved to stops the command with status 1 and the
// reason on `err`.
[[nodiscard]] std::optional<int> refuseUnlessWritable(const Volume &volume, std::FILE *err = stderr);
