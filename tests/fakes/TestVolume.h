#pragma once

#include "platform/Bundle.h"
#include "platform/Volume.h"
#include "tools/SampleVolume.h"

#include <QTemporaryDir>

// A throwaway system volume laid out like the sample volume, with the
// project's stock artwork as its resources.
class TestVolume {
public:
    explicit TestVolume(const SampleVolume::Options &options = {});

    [[nodiscard]] bool isValid() const { return m_ok; }
    [[nodiscard]] QString root() const { return m_dir.path() + QStringLiteral("/volume"); }
    [[nodiscard]] Volume volume() const { return Volume(root()); }
    [[nodiscard]] QString hostPath(const QString &volumePath) const { return volume().hostPath(volumePath); }
    // The resources folder: stock artwork and a copy of Info.plist.
    [[nodiscard]] QString resources() const { return m_dir.path() + QStringLiteral("/resources"); }
    // Resources here, helper programs beside the test executable.
    [[nodiscard]] Bundle bundle() const;
    // A scratch folder for the test's own files.
    [[nodiscard]] QString scratch() const { return m_dir.path() + QStringLiteral("/scratch"); }

    // Domain file of the login window (host path).
    [[nodiscard]] QString domainFile() const;

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};
