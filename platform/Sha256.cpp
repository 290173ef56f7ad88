#include "platform/Sha256.h"

#include <QCryptographicHash>

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <type_traits>

namespace {

// The system's libcrypto, looked up the first time a digest is taken (not
// at start: most runs never take one). Its SHA-256 uses the processor's
// own instructions and is several times faster than Qt's on large files.
// Without it, Qt's gives the same digests.
struct Crypto {
    void *(*newContext)() = nullptr;
    void (*freeContext)(void *) = nullptr;
    const void *(*sha256)() = nullptr;
    int (*init)(void *, const void *, void *) = nullptr;
    int (*update)(void *, const void *, std::size_t) = nullptr;
    int (*final)(void *, unsigned char *, unsigned *) = nullptr;

    [[nodiscard]] bool usable() const { return newContext && freeContext && sha256 && init && update && final; }
};

const Crypto &crypto()
{
    static const Crypto found = [] {
        Crypto c;
        if (qEnvironmentVariableIsSet("LUMORA_PORTABLE_SHA256"))
            return c;
        void *library = ::dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return c;
        auto symbol = [library](auto &pointer, const char *name) {
            pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(::dlsym(library, name));
        };
        symbol(c.newContext, "EVP_MD_CTX_new");
        symbol(c.freeContext, "EVP_MD_CTX_free");
        symbol(c.sha256, "EVP_sha256");
        symbol(c.init, "EVP_DigestInit_ex");
        symbol(c.update, "EVP_DigestUpdate");
        symbol(c.final, "EVP_DigestFinal_ex");
        return c.usable() ? c : Crypto{};
    }();
    return found;
}

} // namespace

struct Sha256::Context {
    void *evp = nullptr;                     // libcrypto's, when found
    std::unique_ptr<QCryptographicHash> qt; // otherwise

    ~Context()
    {
        if (evp)
            crypto().freeContext(evp);
    }
};

Sha256::Sha256() : m_context(std::make_unique<Context>())
{
    const Crypto &c = crypto();
    if (c.usable()) {
        m_context->evp = c.newContext();
        // Out of memory, or a libcrypto that cannot: a digest that is not
        // one must never be answered, so stop.
        if (!m_context->evp || c.init(m_context->evp, c.sha256(), nullptr) != 1)
            std::abort();
    } else {
        m_context->qt = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
    }
}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView bytes)
{
    if (m_context->qt) {
        m_context->qt->addData(bytes);
    } else if (!bytes.isEmpty() && crypto().update(m_context->evp, bytes.data(), std::size_t(bytes.size())) != 1) {
        std::abort();
    }
}

QByteArray Sha256::result()
{
    if (m_context->qt)
        return m_context->qt->result();
    QByteArray digest(64, Qt::Uninitialized);
    unsigned length = 0;
    if (crypto().final(m_context->evp, reinterpret_cast<unsigned char *>(digest.data()), &length) != 1 || length != 32)
        std::abort();
    digest.truncate(32);
    return digest;
}

QString Sha256::hex(QByteArrayView bytes)
{
    Sha256 hash;
    hash.addData(bytes);
    return QString::fromLatin1(hash.result().toHex());
}
