// lumora-defaults: reads and changes one key of a preference domain file,
// the way the application's save operations need it.
//
//   lumora-defaults write DOMAIN KEY VALUE
//   lumora-defaults delete DOMAIN KEY
//   lumora-defaults read DOMAIN [KEY]
//
// DOMAIN is a path; the file is DOMAIN.plist. Every other key, the file's
// encoding (XML or binary), its mode and its owner are kept, and the file
// is replaced in one rename, so the login window never sees half a file.
// A file that cannot be parsed is never written over.

#include "platform/PropertyList.h"
#include "tools/DefaultsValue.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <plist/plist.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitFailure = 1;

void printError(const QByteArray &message)
{
    std::fprintf(stderr, "lumora-defaults: %s\n", message.constData());
}

int usage()
{
    std::fprintf(stderr, "usage: lumora-defaults write DOMAIN KEY VALUE | delete DOMAIN KEY | read DOMAIN [KEY]\n");
    return kExitUsage;
}

QByteArray errnoText(int error)
{
    return QByteArray(std::strerror(error));
}

// Keys and values go into the list as UTF-8; anything else would produce a
// file the login window cannot read.
bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

struct Domain {
    QByteArray path;      // the file actually read and replaced
    bool exists = false;
    struct stat info {};
    PropertyList::Node root;
    PropertyList::Format format = PropertyList::Format::Binary;
};

// Loads DOMAIN.plist. A symbolic link is followed, so the file it points to
// is the one replaced and the link stays. False (with a message) when the
// file is there but cannot be read as a dictionary.
bool loadDomain(const QByteArray &domain, Domain &out)
{
    out.path = domain + ".plist";
    struct stat link {};
    if (::lstat(out.path.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char *resolved = ::realpath(out.path.constData(), nullptr)) {
            out.path = QByteArray(resolved);
            std::free(resolved);
        }
    }
    if (::stat(out.path.constData(), &out.info) != 0) {
        if (errno == ENOENT)
            return true;
        printError(out.path + ": " + errnoText(errno));
        return false;
    }
    out.exists = true;
    if (!S_ISREG(out.info.st_mode)) {
        printError(out.path + ": not a regular file");
        return false;
    }
    if (::access(out.path.constData(), R_OK) != 0) {
        printError(out.path + ": " + errnoText(errno));
        return false;
    }
    out.root = PropertyList::readNodeFile(QString::fromLocal8Bit(out.path), {}, &out.format);
    if (!out.root) {
        printError(out.path
                   + ": not a property list, or too large or too deeply nested; the file was left unchanged");
        return false;
    }
    if (out.format == PropertyList::Format::Xml) {
        QFile file(QString::fromLocal8Bit(out.path));
        if (!file.open(QIODevice::ReadOnly)
            || !DefaultsValue::xmlSurvivesRewrite(file.read(PropertyList::Limits{}.maxBytes + 1))) {
            printError(out.path + ": the file holds bytes that are not UTF-8 text; the file was left unchanged");
            return false;
        }
    }
    if (plist_get_node_type(out.root.get()) != PLIST_DICT) {
        printError(out.path + ": the property list is not a dictionary; the file was left unchanged");
        return false;
    }
    return true;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Writes the tree next to the domain file and renames it into place. An
// existing file's owner and mode carry over; a new file gets the usual
// mode under the caller's umask.
bool storeDomain(const Domain &domain)
{
    const QByteArray bytes = PropertyList::serialize(domain.root.get(), domain.format);
    // libplist can write a list from odd input that it then cannot read
    // back; such a file would lose every key, so it is never put in place.
    if (bytes.isEmpty() || !PropertyList::parseNode(bytes)) {
        printError(domain.path + ": could not encode the property list; the file was left unchanged");
        return false;
    }

    const qsizetype slash = domain.path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : domain.path.left(slash);
    const QByteArray name = slash < 0 ? domain.path : domain.path.mid(slash + 1);
    QByteArray temp = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        printError(folder + ": cannot create a temporary file: " + errnoText(errno));
        return false;
    }

    auto fail = [&](const QByteArray &what) {
        const int error = errno;
        ::close(fd);
        ::unlink(temp.constData());
        printError(domain.path + ": " + what + ": " + errnoText(error));
        return false;
    };

    if (!writeAll(fd, bytes))
        return fail("cannot write");
    mode_t mode = 0;
    if (domain.exists) {
        // Owner first: changing it may clear set-id bits that fchmod restores.
        if ((domain.info.st_uid != ::geteuid() || domain.info.st_gid != ::getegid())
            && ::fchown(fd, domain.info.st_uid, domain.info.st_gid) != 0)
            return fail("cannot keep the file's owner");
        mode = domain.info.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        return fail("cannot set the file's mode");
    if (::fsync(fd) != 0)
        return fail("cannot write");
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        printError(domain.path + ": cannot write: " + errnoText(error));
        return false;
    }
    if (::rename(temp.constData(), domain.path.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        printError(domain.path + ": cannot replace the file: " + errnoText(error));
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// XML 1.0 has no way to write most control characters; a reader on the
// volume would reject the whole file, so such text goes only into binary
// lists.
bool fitsXml(const QByteArray &utf8)
{
    for (const char32_t c : QString::fromUtf8(utf8).toUcs4()) {
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF)
            return false;
    }
    return true;
}

int writeKey(const QByteArray &domainName, const QByteArray &key, const QByteArray &rawValue)
{
    const QByteArray value = DefaultsValue::parse(rawValue);
    if (!isUtf8(key) || !isUtf8(value)) {
        printError("the key and the value must be UTF-8 text");
        return kExitFailure;
    }
    Domain domain;
    if (!loadDomain(domainName, domain))
        return kExitFailure;
    if (!domain.exists) {
        domain.root.reset(plist_new_dict());
        domain.format = PropertyList::Format::Binary;
    }
    if (domain.format == PropertyList::Format::Xml && (!fitsXml(key) || !fitsXml(value))) {
        printError(domain.path + ": the text holds control characters that an XML property list cannot hold; "
                                 "the file was left unchanged");
        return kExitFailure;
    }
    plist_dict_set_item(domain.root.get(), key.constData(), plist_new_string(value.constData()));
    return storeDomain(domain) ? 0 : kExitFailure;
}

int deleteKey(const QByteArray &domainName, const QByteArray &key)
{
    Domain domain;
    if (!loadDomain(domainName, domain))
        return kExitFailure;
    // Nothing to delete is not a failure, and the file is not touched.
    if (!domain.exists || !plist_dict_get_item(domain.root.get(), key.constData()))
        return 0;
    plist_dict_remove_item(domain.root.get(), key.constData());
    return storeDomain(domain) ? 0 : kExitFailure;
}

void printNode(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        char *text = nullptr;
        plist_get_string_val(node, &text);
        std::fprintf(stdout, "%s\n", text ? text : "");
        std::free(text);
        return;
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        std::fprintf(stdout, "%d\n", value ? 1 : 0);
        return;
    }
    case PLIST_UINT: {
        // The list stores signed integers; show them as such.
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        std::fprintf(stdout, "%lld\n", static_cast<long long>(value));
        return;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        std::fprintf(stdout, "%s\n", QByteArray::number(value, 'g', 17).constData());
        return;
    }
    default: {
        const QByteArray xml = PropertyList::serialize(node, PropertyList::Format::Xml);
        std::fwrite(xml.constData(), 1, size_t(xml.size()), stdout);
        return;
    }
    }
}

int readDomain(const QByteArray &domainName, const QByteArray *key)
{
    Domain domain;
    if (!loadDomain(domainName, domain))
        return kExitFailure;
    if (!domain.exists) {
        printError("the domain " + domainName + " does not exist");
        return kExitFailure;
    }
    plist_t node = domain.root.get();
    if (key) {
        node = plist_dict_get_item(node, key->constData());
        if (!node) {
            printError("the key " + *key + " does not exist in " + domainName);
            return kExitFailure;
        }
    }
    printNode(node);
    return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    const QByteArray command(argv[1]);
    const QByteArray domain(argv[2]);
    if (domain.isEmpty())
        return usage();

    if (command == "write" && argc == 5)
        return writeKey(domain, QByteArray(argv[3]), QByteArray(argv[4]));
    if (command == "delete" && argc == 4)
        return deleteKey(domain, QByteArray(argv[3]));
    if (command == "read" && (argc == 3 || argc == 4)) {
        const QByteArray key = argc == 4 ? QByteArray(argv[3]) : QByteArray();
        return readDomain(domain, argc == 4 ? &key : nullptr);
    }
    return usage();
}
