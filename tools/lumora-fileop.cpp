// lumora-fileop: the file operations of a save that need administrator
// rights, each done inside the volume at the moment it happens.
//
//   lumora-fileop --root ROOT install FILE < CONTENT
//   lumora-fileop --root ROOT backup FILE BACKUP
//   lumora-fileop --root ROOT mkdir FOLDER
//   lumora-fileop --root ROOT chmod MODE FILE
//   lumora-fileop --root ROOT move-out FILE > COPY
//   lumora-fileop --root ROOT remove FILE
//
// Paths are volume paths. See FileOperation.h for what each one does.

#include "tools/FileOperation.h"

#include <QFile>
#include <QStringList>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    return FileOperation::run(arguments);
}
