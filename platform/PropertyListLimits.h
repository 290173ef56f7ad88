#pragma once

#include "platform/PropertyList.h"
#include "platform/PropertyListValue.h"

#include <QByteArray>

#include <optional>

// Shared by the checks and the readers of property lists.
namespace PropertyList {

[[nodiscard]] bool looksBinary(const QByteArray &bytes);

[[nodiscard]] quint64 readBigEndian(const uchar *p, int size);

// The last 32 bytes of a binary list: where the offset table is, how wide
// its entries and the object references are, and which object is the top.
struct BinaryTrailer {
    int offsetSize = 0;
    int refSize = 0;
    quint64 count = 0;
    quint64 top = 0;
    quint64 tableOffset = 0;
};

[[nodiscard]] std::optional<BinaryTrailer> readBinaryTrailer(const QByteArray &bytes, const Limits &limits);

// Where object `index` starts; the trailer must have been read by
// readBinaryTrailer from the same bytes.
[[nodiscard]] quint64 binaryObjectOffset(const QByteArray &bytes, const BinaryTrailer &trailer, quint64 index);

// The two readers of XML lists that readExact uses, for checks that they
// agree: the plain one takes only the common form, straight from the bytes,
// and gives up at anything else; the general one reads any well-formed XML.
// Neither checks the start of the list or its size.
[[nodiscard]] std::optional<Value> readPlainXml(const QByteArray &bytes, const Limits &limits);
[[nodiscard]] std::optional<Value> readGeneralXml(const QByteArray &bytes, const Limits &limits, QString *why);

} // namespace PropertyList
