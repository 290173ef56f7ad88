#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

// SHA-256, the same digests as Qt's QCryptographicHash gives, several
// times faster on pictures of many megabytes: the system's libcrypto (and
// through it the processor's own instructions) when it is there, Qt's
// otherwise (or when LUMORA_PORTABLE_SHA256 is set). The digests of the
// pictures the history keeps and the saves compare are taken with it.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void addData(QByteArrayView bytes);
    // The 32 bytes of the digest; the object is spent afterwards.
    [[nodiscard]] QByteArray result();

    // The digest of `bytes` in lower-case hexadecimal.
    [[nodiscard]] static QString hex(QByteArrayView bytes);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
