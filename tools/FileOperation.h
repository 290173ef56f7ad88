#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The file operations of a save, as lumora-fileop does them with
// administrator rights. Each takes volume paths and works on descriptors:
// the folder of every path is opened inside the volume at the moment of use
// (the volume's own links followed, never off it), the last component is
// never followed, and files are changed through what was opened, not by
// name. A path that is not what the operation needs fails with a message on
// standard error and changes nothing.
namespace FileOperation {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;

// Copies `input` (a descriptor the caller opened) into a hidden file beside
// `file`, syncs it and renames it over `file`, which keeps its mode. `file`
// may be missing; a link, folder or anything but a regular file there fails.
int install(const QString &root, const QString &file, int input);
// Copies `file` to `backup` unless something is there already: an existing
// backup is never replaced.
int backup(const QString &root, const QString &file, const QString &backup);
// Makes `folder` and its missing parents.
int makeFolder(const QString &root, const QString &folder);
// Sets the permission bits (octal text, as chmod takes them) of a regular file.
int setMode(const QString &root, const QString &mode, const QString &file);
// Writes the bytes of a regular file to `output`, then removes the file.
int moveOut(const QString &root, const QString &file, int output);
// Removes one of our own hidden files (SideFiles::isLeftoverName), or the
// background picture this program installs; nothing else.
int remove(const QString &root, const QString &file);

// The command line: --root ROOT COMMAND ARGUMENTS.
int run(const QStringList &arguments);

} // namespace FileOperation
