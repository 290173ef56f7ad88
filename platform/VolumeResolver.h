#pragma once

#include "platform/UniqueFd.h"
#include "platform/Volume.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

#include <sys/stat.h>

// Resolves volume paths the way the Mac resolves them on that volume: an
// absolute link target starts at the volume's root, ".." stops at the root,
// and at most 40 links are followed. Nothing it returns lies outside the
// volume, and every host path it returns is free of links below the root.
// With the root "/" the host already resolves that way, so paths pass
// through unchanged.
class VolumeResolver {
public:
    enum class Error {
        None,
        Missing,       // a component does not exist (or the root itself)
        NotAFolder,    // a file where a folder is needed, or a folder to list is not one
        NotAFile,      // opened for reading, but not a regular file
        TooManyLinks,  // a link loop, or a chain of more than 40 links
        OutsideVolume, // the kernel saw the path leave the root (a rename racing us)
        Failed,        // anything else: no permission, a name too long, ...
    };

    enum class Method {
        Kernel,        // openat2 with RESOLVE_IN_ROOT; the component walk where the kernel lacks it
        ComponentWalk, // always walk component by component with O_PATH | O_NOFOLLOW
    };

    enum class FinalLink {
        Follow, // the file a final link leads to, within the volume: what a write through it changes
        Keep,   // the entry itself, link or not: what a removal or a move takes away
    };

    // A value, or the reason there is none.
    template <typename T>
    class Result {
    public:
        Result(T value) : m_value(std::move(value)) {}
        Result(Error error) : m_error(error) {}
        explicit operator bool() const { return m_error == Error::None; }
        [[nodiscard]] Error error() const { return m_error; }
        T &operator*() { return m_value; }
        const T &operator*() const { return m_value; }
        const T *operator->() const { return &m_value; }

    private:
        T m_value{};
        Error m_error = Error::None;
    };

    explicit VolumeResolver(Volume volume, Method method = Method::Kernel);

    // Host path of an existing file or folder, every link followed.
    [[nodiscard]] Result<QString> resolve(const QString &volumePath) const;

    // Host path for a write: its folder must resolve, its last component may
    // be missing. The tools handed this path find no link before that last
    // component, and with FinalLink::Follow none in it either.
    [[nodiscard]] Result<QString> writablePath(const QString &volumePath,
                                               FinalLink finalLink = FinalLink::Follow) const;

    // Host path for something to create whose folders may be missing too
    // ("/bin/mkdir -p"): the part that exists as writablePath() gives it,
    // the rest appended as plain names. A link where the first missing
    // name stands (one that leads nowhere on the volume) fails.
    [[nodiscard]] Result<QString> pathToCreate(const QString &volumePath) const;

    // A regular file opened for reading from its resolved folder's descriptor;
    // a file swapped in after it was resolved is refused, not read.
    [[nodiscard]] Result<std::unique_ptr<QFile>> openForReading(const QString &volumePath) const;

    // The names in a folder, without "." and "..", sorted.
    [[nodiscard]] Result<QStringList> list(const QString &folderVolumePath) const;

    // An entry of the volume as the privileged tools work on it: its folder,
    // resolved inside the volume now and held open, and its name there, not
    // followed. Everything after this is done relative to the descriptor,
    // so a folder swapped for a link afterwards changes nothing. The entry
    // itself may be missing (`exists` false); `info` is what lstat saw.
    struct Place {
        UniqueFd folder;
        QByteArray name;
        bool exists = false;
        struct stat info {};
    };
    [[nodiscard]] Result<Place> locate(const QString &volumePath) const;
    // A folder of the volume held open (for reading, or only for searching
    // when it cannot be read), every link followed within the volume.
    [[nodiscard]] Result<UniqueFd> openFolder(const QString &volumePath) const;

    // Whether this kernel has openat2 with RESOLVE_IN_ROOT.
    [[nodiscard]] static bool kernelResolvesInRoot();

    [[nodiscard]] const Volume &volume() const { return m_volume; }

private:
    [[nodiscard]] bool usesKernel() const;

    Volume m_volume;
    Method m_method;
};
