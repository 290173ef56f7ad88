// libFuzzer target: the guarded property-list reader. Whatever the bytes,
// it must neither crash nor hang, and a list it accepts must survive being
// written out in its own encoding and read back. (Across encodings it need
// not: libplist takes invalid UTF-8 from XML, which UTF-16 cannot keep.)

#include "platform/PropertyList.h"
#include "tools/DefaultsValue.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    PropertyList::Format format = PropertyList::Format::Xml;
    PropertyList::Node node = PropertyList::parseNode(bytes, {}, &format);
    if (!node)
        return 0;
    (void)PropertyList::toVariant(node.get());
    (void)PropertyList::serialize(node.get(), PropertyList::Format::Binary);

    // lumora-defaults writes a list back in the encoding it was found in:
    // that must read again, and writing it once more must change nothing.
    if (format == PropertyList::Format::Xml && !DefaultsValue::xmlSurvivesRewrite(bytes))
        return 0; // the tool refuses to rewrite these
    const QByteArray written = PropertyList::serialize(node.get(), format);
    // (A binary rewrite that does not read back is refused by the tool
    // before it replaces anything.)
    PropertyList::Node again = PropertyList::parseNode(written);
    if (!again) {
        if (format == PropertyList::Format::Xml)
            __builtin_trap();
        return 0;
    }
    // A binary "ASCII" string with bytes above 0x7f is read as is and
    // written back as UTF-16, so only XML is held to an unchanged rewrite.
    if (format == PropertyList::Format::Xml && PropertyList::serialize(again.get(), format) != written)
        __builtin_trap();
    return 0;
}
