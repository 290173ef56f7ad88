#pragma once

#include "platform/PropertyListValue.h"

#include <QByteArray>

#include <chrono>

#include <sys/stat.h>

// The file of a preference domain, DOMAIN.plist, as lumora-defaults reads
// and replaces it. Everything happens relative to the domain's folder,
// opened once: the lock is held on it, a link as the domain file is
// followed only to a file in that same folder (its other targets may lie
// outside the volume being edited), and the new file is renamed into place
// there. Each step prints its own message when it fails.
class DomainFile {
public:
    enum class Folder { Open, Missing, Failed };

    // With a root, `domain` is a path on the volume mounted there: its
    // folder is opened inside the volume (the volume's own links followed,
    // never off it), so a folder swapped for a link on the way changes
    // nothing but this lookup.
    explicit DomainFile(const QByteArray &domain, const QString &root = QString());
    ~DomainFile();
    DomainFile(const DomainFile &) = delete;
    DomainFile &operator=(const DomainFile &) = delete;

    [[nodiscard]] Folder openFolder();
    // An exclusive lock on the folder, held until this object goes, so that
    // writers of one domain take turns. Waits at most `wait`.
    [[nodiscard]] bool lock(std::chrono::milliseconds wait);
    // Follows a link, then reads the file strictly. A missing file is an
    // empty binary dictionary.
    [[nodiscard]] bool load();
    // Writes the dictionary next to the file and renames it into place,
    // keeping the format, owner and mode.
    [[nodiscard]] bool store();

    [[nodiscard]] bool exists() const { return m_exists; }
    [[nodiscard]] PropertyList::Value &root() { return m_root; }
    [[nodiscard]] PropertyList::Format format() const { return m_format; }
    [[nodiscard]] QByteArray shownPath() const;

private:
    bool resolveLinks();
    bool readFile();
    bool replaceFile(const QByteArray &bytes);
    void report(const QByteArray &message) const;

    // A folder of the domain's volume, or of the host without a root.
    [[nodiscard]] int openVolumeFolder(const QByteArray &path, int flags) const;

    QString m_volumeRoot;
    QByteArray m_folderPath;
    QByteArray m_name; // in the folder: the domain file, or what its link names
    int m_folder = -1;
    bool m_exists = false;
    struct stat m_info {};
    PropertyList::Value m_root;
    PropertyList::Format m_format = PropertyList::Format::Binary;
};
