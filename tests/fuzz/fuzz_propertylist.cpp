// libFuzzer target: the property-list readers. Whatever the bytes, they
// must neither crash nor hang. A list that is read must be written back in
// its own encoding and read back as the very same value; what the
// application makes of it (plain Qt values) must survive being written as
// a binary list and read again. The two readers of XML must agree.

#include "platform/PropertyList.h"
#include "platform/PropertyListLimits.h"
#include "platform/PropertyListValue.h"

#include <cstddef>
#include <cstdint>

namespace {

// Values and dictionary keys, as a binary list counts its objects.
qint64 objectCount(const QVariant &value)
{
    qint64 n = 1;
    if (value.typeId() == QMetaType::QVariantList) {
        for (const QVariant &item : value.toList())
            n += objectCount(item);
    } else if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            n += 1 + objectCount(it.value());
    }
    return n;
}

void applicationRoundTrip(const QByteArray &bytes)
{
    const std::optional<QVariant> value = PropertyList::parse(bytes);
    if (!value)
        return;
    // Binary holds every plain value. Shared references unfold when
    // written, and an XML list has no object limit, so the list written
    // may be past the limits.
    const QByteArray written = PropertyList::serialize(*value, PropertyList::Format::Binary);
    if (written.isEmpty())
        __builtin_trap();
    const PropertyList::Limits limits;
    if (written.size() <= limits.maxBytes && objectCount(*value) <= limits.maxNodes && !PropertyList::parse(written))
        __builtin_trap();
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

// XML the plain reader takes must be read by the general one as the same
// value, with the same text.
void plainXmlAgrees(const QByteArray &bytes)
{
    if (PropertyList::looksBinary(bytes))
        return;
    const std::optional<PropertyList::Value> plain = PropertyList::readPlainXml(bytes, {});
    if (!plain)
        return;
    const std::optional<PropertyList::Value> general = PropertyList::readGeneralXml(bytes, {}, nullptr);
    if (!general || !(*general == *plain)
        || PropertyList::writeExact(*general, PropertyList::Format::Xml)
               != PropertyList::writeExact(*plain, PropertyList::Format::Xml))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    applicationRoundTrip(bytes);
    exactRoundTrip(bytes);
    plainXmlAgrees(bytes);
    return 0;
}
