// libFuzzer target: the VALUE parser of lumora-defaults. Besides not
// crashing, it must give back any unquoted value as it is, and a text
// quoted the way the save operations quote it must come back exactly.

#include "tools/DefaultsValue.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray value(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray parsed = DefaultsValue::parse(value);
    if (parsed.size() > value.size())
        __builtin_trap();
    const bool quoted = value.size() >= 2 && value.startsWith('"') && value.endsWith('"');
    if (!quoted && parsed != value)
        __builtin_trap();

    QByteArray escaped = value;
    escaped.replace('\\', "\\\\");
    escaped.replace('"', "\\\"");
    if (DefaultsValue::parse('"' + escaped + '"') != value)
        __builtin_trap();
    return 0;
}
