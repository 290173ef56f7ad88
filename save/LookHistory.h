#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

class Staging;

// The looks that saves replaced, kept on the volume (LookFiles): a record
// per look with its values and the digests of its pictures, and each
// picture once. Written only through the file tool with administrator
// rights; read without them, nothing on the way followed: a history entry
// that is a link, or damaged, is refused.
class LookHistory {
public:
    // How many looks are kept, newest first: a preference of the user's.
    static inline const QString kKeptKey = QStringLiteral("Looks kept");
    static constexpr int kDefaultKept = 20;
    static constexpr int kMaxKept = 1000;

    struct Look {
        QString id; // "20261208T114500Z", from the time of the save
        QDateTime saved;
        // By role ("logo", "title", "background"). For keep(), the volume's
        // files as volume paths (read inside the volume, whatever its links
        // do meanwhile); from list(), volume paths in the history; from
        // read(), host paths of checked copies in our own folder.
        // A role that is missing had no picture of its own (the release's
        // default background).
        QMap<QString, QString> pictures;
        // By setting key ("message", "hostInfo", "nameAndPassword", ...):
        // strings and integers; a missing key is a setting left unset.
        QVariantMap values;
        // From list(): the digest of each picture, by role.
        QMap<QString, QString> digests;
    };

    explicit LookHistory(const Staging &staging) : m_staging(staging) {}

    // Keeps `look` (its pictures read from the volume now) unless the newest
    // record already holds the same, then removes the oldest looks beyond
    // `kept`, and the pictures no look names any more. True when the look
    // is kept.
    [[nodiscard]] bool keep(const Look &look, int kept) const;
    // Every readable look, newest first, pictures as volume host paths of
    // the history. `refused` gets a line for each entry that is damaged or
    // a link.
    [[nodiscard]] QList<Look> list(QStringList *refused = nullptr) const;
    // One look, each picture checked against its digest and copied into our
    // own folder (where the save takes its bytes as they are).
    [[nodiscard]] std::optional<Look> read(const QString &id, QString *why) const;

    // The bytes of a picture read() copied out, when `hostPath` is one and
    // still holds what its name says.
    [[nodiscard]] static std::optional<QByteArray> restoredBytes(const QString &hostPath);
    // Where read() puts the pictures.
    [[nodiscard]] static QString restoredFolder();

private:
    [[nodiscard]] bool prune(int kept) const;

    const Staging &m_staging;
};
