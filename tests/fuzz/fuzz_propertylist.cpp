// libFuzzer target: the guarded property-list readers. Whatever the bytes,
// they must neither crash nor hang. A list libplist accepts must survive
// being written out in its own encoding and read back (not unchanged:
// libplist writes a CR raw, which reading turns into a LF, which is why
// lumora-defaults no longer writes through it); a list the exact
// reader of lumora-defaults accepts must be written back in its own
// encoding and read back as the very same value.

#include "platform/PropertyList.h"
#include "platform/PropertyListValue.h"

#include <cstddef>
#include <cstdint>

namespace {

void libplistRoundTrip(const QByteArray &bytes)
{
    PropertyList::Format format = PropertyList::Format::Xml;
    PropertyList::Node node = PropertyList::parseNode(bytes, {}, &format);
    if (!node)
        return;
    (void)PropertyList::toVariant(node.get());
    (void)PropertyList::serialize(node.get(), PropertyList::Format::Binary);

    const QByteArray written = PropertyList::serialize(node.get(), format);
    // (libplist can write a binary list it cannot read back.)
    PropertyList::Node again = PropertyList::parseNode(written);
    if (!again) {
        if (format == PropertyList::Format::Xml)
            __builtin_trap();
        return;
    }
}

void exactRoundTrip(const QByteArray &bytes)
{
    PropertyList::Format format = PropertyList::Format::Xml;
    const std::optional<PropertyList::Value> value = PropertyList::readExact(bytes, {}, &format);
    if (!value)
        return;
    // What was read from XML is what XML can hold; binary holds anything.
    const std::optional<QByteArray> written = PropertyList::writeExact(*value, format);
    if (!written)
        __builtin_trap();
    const std::optional<PropertyList::Value> again = PropertyList::readExact(*written);
    // Shared references unfold when written, possibly past the size limit.
    if (!again) {
        if (written->size() <= PropertyList::Limits{}.maxBytes)
            __builtin_trap();
        return;
    }
    if (!(*again == *value))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    libplistRoundTrip(bytes);
    exactRoundTrip(bytes);
    return 0;
}
