#pragma once

#include <QString>

// The system volume being edited. Paths inside the code are volume paths,
// written as the login window on that volume sees them; only file-system
// calls and tool arguments that name files go through hostPath().
class Volume {
public:
    explicit Volume(QString root = QStringLiteral("/"));
    // A volume whose folder says nothing to people (the mount folder of a
    // disk image): its own name and what to call where it is.
    Volume(QString root, QString name, QString place);

    // LUMORA_SYSTEM_ROOT, or "/" when it is unset or empty.
    static Volume fromEnvironment();

    [[nodiscard]] const QString &root() const { return m_root; }
    [[nodiscard]] bool isRootFilesystem() const { return m_root == QLatin1String("/"); }

    // root + path; with the root "/" the result is byte-for-byte the path.
    [[nodiscard]] QString hostPath(const QString &volumePath) const;

    // Where the volume is, for people: its folder, or the disk image.
    [[nodiscard]] QString displayName() const;
    // The mount folder's own name ("Macintosh HD"); "/" for the root.
    [[nodiscard]] QString name() const;

private:
    QString m_root;
    QString m_name;
    QString m_place;
};
