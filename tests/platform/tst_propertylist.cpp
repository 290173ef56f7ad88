#include "platform/PropertyList.h"
#include "platform/PropertyListLimits.h"
#include "platform/PropertyListValue.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <vector>

#include <sys/stat.h>

using PropertyList::Format;
using PropertyList::Limits;

namespace {

// Builds binary lists object by object, so that tests can write what no
// well-behaved writer would: cycles, dangling references, bad offsets.
class BinaryList {
public:
    static constexpr int kRefSize = 4;

    // Returns the index of the new object.
    int add(const QByteArray &object)
    {
        m_objects.push_back(object);
        return int(m_objects.size()) - 1;
    }
    static QByteArray ref(quint64 index) { return bigEndian(index, kRefSize); }
    // An array (marker 0xA) or dictionary (0xD) header for `count` entries.
    static QByteArray container(int type, quint64 count)
    {
        QByteArray bytes;
        if (count < 15) {
            bytes.append(char((type << 4) | int(count)));
        } else {
            bytes.append(char((type << 4) | 0x0f));
            bytes.append(char(0x13)); // 8-byte integer length
            bytes.append(bigEndian(count, 8));
        }
        return bytes;
    }
    static QByteArray array(const std::vector<quint64> &refs)
    {
        QByteArray bytes = container(0xA, refs.size());
        for (quint64 r : refs)
            bytes.append(ref(r));
        return bytes;
    }
    static QByteArray ascii(const QByteArray &text)
    {
        QByteArray bytes(1, char(0x50 | int(text.size())));
        return bytes + text; // short strings only
    }

    // `offsetFor` may replace the real offset of an object.
    QByteArray build(quint64 top = 0, qint64 badOffsetFor = -1, quint64 badOffset = 0) const
    {
        QByteArray bytes("bplist00");
        std::vector<quint64> offsets;
        for (const QByteArray &object : m_objects) {
            offsets.push_back(quint64(bytes.size()));
            bytes.append(object);
        }
        const quint64 table = quint64(bytes.size());
        for (size_t i = 0; i < offsets.size(); ++i)
            bytes.append(bigEndian(qint64(i) == badOffsetFor ? badOffset : offsets[i], 4));
        QByteArray trailer(6, '\0');
        trailer.append(char(4)); // offset size
        trailer.append(char(kRefSize));
        trailer.append(bigEndian(offsets.size(), 8));
        trailer.append(bigEndian(top, 8));
        trailer.append(bigEndian(table, 8));
        return bytes + trailer;
    }

private:
    static QByteArray bigEndian(quint64 value, int size)
    {
        QByteArray bytes(size, '\0');
        for (int i = size - 1; i >= 0; --i, value >>= 8)
            bytes[i] = char(value & 0xff);
        return bytes;
    }
    std::vector<QByteArray> m_objects;
};

// One object (true) and an offset table of `count` one-byte entries that
// all point at it: a small file claiming a great many objects.
QByteArray listClaimingObjects(quint64 count)
{
    QByteArray bytes("bplist00\x09", 9);
    bytes.append(QByteArray(qsizetype(count), char(8)));
    QByteArray trailer(6, '\0');
    trailer.append(char(1)); // offset size
    trailer.append(char(1)); // reference size
    for (const quint64 value : {count, quint64(0), quint64(9)}) {
        for (int shift = 56; shift >= 0; shift -= 8)
            trailer.append(char((value >> shift) & 0xff));
    }
    return bytes + trailer;
}

QByteArray nestedXmlArrays(int depth)
{
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                       "<plist version=\"1.0\">";
    bytes.reserve(bytes.size() + qsizetype(depth) * 15 + 16);
    for (int i = 0; i < depth; ++i)
        bytes.append("<array>");
    for (int i = 0; i < depth; ++i)
        bytes.append("</array>");
    bytes.append("</plist>\n");
    return bytes;
}

QByteArray nestedBinaryArrays(int depth)
{
    BinaryList list;
    for (int i = 0; i < depth - 1; ++i)
        list.add(BinaryList::array({quint64(i + 1)}));
    list.add(BinaryList::array({}));
    return list.build();
}

int nestingOf(const QVariant &value)
{
    int depth = 1;
    QVariant current = value;
    while (current.typeId() == QMetaType::QVariantList && !current.toList().isEmpty()) {
        current = current.toList().first();
        ++depth;
    }
    return depth;
}

QVariantMap everyValueType()
{
    return {
        {QStringLiteral("string"), QStringLiteral("Welcome \u00e0 Lumora \u2014 \U0001F600")},
        {QStringLiteral("empty string"), QString()},
        {QStringLiteral("markup"), QStringLiteral("<b>&amp; \"quoted\"</b>")},
        {QStringLiteral("true"), true},
        {QStringLiteral("false"), false},
        {QStringLiteral("zero"), qulonglong(0)},
        {QStringLiteral("small"), qulonglong(42)},
        {QStringLiteral("large"), qulonglong(Q_UINT64_C(0x7fffffffffffffff))},
        {QStringLiteral("real"), 3.25},
        {QStringLiteral("data"), QByteArray("\x00\x01\xfe\xff binary", 12)},
        {QStringLiteral("date"),
         QDateTime(QDate(2005, 4, 29), QTime(18, 30, 15), QTimeZone::utc())},
        {QStringLiteral("empty array"), QVariantList()},
        {QStringLiteral("empty dict"), QVariantMap()},
        {QStringLiteral("array"),
         QVariantList{QStringLiteral("a"), qulonglong(1), true,
                      QVariantMap{{QStringLiteral("inner"), QStringLiteral("b")}}}},
        {QStringLiteral("dict"),
         QVariantMap{{QStringLiteral("nested"), QVariantList{QStringLiteral("x"), 0.5}}}},
    };
}

} // namespace

class TestPropertyList : public QObject {
    Q_OBJECT
private slots:
    // Far deeper than any reader's stack should go: refused for their depth.
    void hugelyNestedInputIsNoList_data();
    void hugelyNestedInputIsNoList();
    void depthLimitIsExact_data();
    void depthLimitIsExact();
    void malformedBinaryIsNoList_data();
    void malformedBinaryIsNoList();
    void malformedInputIsNoList_data();
    void malformedInputIsNoList();
    void sharedReferencesThatUnfoldHugelyAreNoList();
    void modestSharingIsAccepted();
    void objectCountBeyondTheNodeLimitIsNoList();
    void sizeCapAppliesToBytesAndFiles();
    void roundTripKeepsEveryValueType_data();
    void roundTripKeepsEveryValueType();
    void readDictionaryFileWantsADictionary();
    void plainXmlReadsAsTheGeneralReaderDoes_data();
    void plainXmlReadsAsTheGeneralReaderDoes();
    void tooDeepIsToldFromNoList();
    void duplicateKeysAreRefusedInLargeDictionaries_data();
    void duplicateKeysAreRefusedInLargeDictionaries();
};

void TestPropertyList::hugelyNestedInputIsNoList_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("minimumSize");
    QTest::newRow("xml, 200000 nested arrays") << nestedXmlArrays(200000) << 2'000'000;
    QTest::newRow("binary, 100000 nested arrays") << nestedBinaryArrays(100000) << 800'000;
}

void TestPropertyList::hugelyNestedInputIsNoList()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, minimumSize);
    QVERIFY(bytes.size() >= minimumSize);
    QVERIFY(bytes.size() < Limits{}.maxBytes);
    QVERIFY(!PropertyList::parse(bytes).has_value());
    QVERIFY(PropertyList::isNestedTooDeeply(bytes, {}));
}

void TestPropertyList::depthLimitIsExact_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("accepted");
    const int limit = Limits{}.maxDepth;
    QTest::newRow("xml at the limit") << nestedXmlArrays(limit) << limit << true;
    QTest::newRow("xml one over") << nestedXmlArrays(limit + 1) << limit + 1 << false;
    QTest::newRow("binary at the limit") << nestedBinaryArrays(limit) << limit << true;
    QTest::newRow("binary one over") << nestedBinaryArrays(limit + 1) << limit + 1 << false;

    // A leaf value counts as a level too, written out or self-closing.
    QByteArray leaf = nestedXmlArrays(limit - 1);
    leaf.replace("<array></array>", "<array><string>x</string></array>");
    QTest::newRow("xml string leaf at the limit") << leaf << limit << true;
    QByteArray tooDeepLeaf = nestedXmlArrays(limit);
    tooDeepLeaf.replace("<array></array>", "<array><true/></array>");
    QTest::newRow("xml self-closing leaf one over") << tooDeepLeaf << limit + 1 << false;
}

void TestPropertyList::depthLimitIsExact()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, depth);
    QFETCH(bool, accepted);
    const auto value = PropertyList::parse(bytes);
    QCOMPARE(value.has_value(), accepted);
    if (accepted)
        QCOMPARE(nestingOf(*value), depth);
}

void TestPropertyList::malformedBinaryIsNoList_data()
{
    QTest::addColumn<QByteArray>("bytes");

    {
        BinaryList list;
        list.add(BinaryList::array({1}));
        list.add(BinaryList::array({0}));
        QTest::newRow("reference cycle") << list.build();
    }
    {
        BinaryList list;
        list.add(BinaryList::array({0}));
        QTest::newRow("array holding itself") << list.build();
    }
    {
        BinaryList list;
        list.add(BinaryList::array({1, 2}));
        list.add(BinaryList::ascii("a"));
        QTest::newRow("reference past the last object") << list.build();
    }
    {
        BinaryList list;
        list.add(BinaryList::array({1}));
        list.add(BinaryList::ascii("a"));
        QTest::newRow("offset into the offset table") << list.build(0, 1, 1000);
        QTest::newRow("offset into the header") << list.build(0, 1, 3);
        QTest::newRow("top object past the last") << list.build(7);
        const QByteArray good = list.build();
        QVERIFY(PropertyList::parse(good).has_value());
        QTest::newRow("trailer cut short") << good.left(good.size() - 5);
        QTest::newRow("header and trailer only") << QByteArray("bplist00") + good.right(32);
        QByteArray hugeCount = good;
        hugeCount[good.size() - 24 + 7] = char(0xff);
        hugeCount[good.size() - 24] = char(0x7f);
        QTest::newRow("object count beyond the file") << hugeCount;
    }
    {
        BinaryList list;
        list.add(BinaryList::container(0xA, 1'000'000'000) + BinaryList::ref(1));
        list.add(BinaryList::ascii("a"));
        QTest::newRow("array longer than the file") << list.build();
    }
    {
        BinaryList list;
        list.add(QByteArray("\x5f\x10\xff", 3) + "short");
        QTest::newRow("string longer than the file") << list.build();
    }
    {
        // Keys of a dictionary must be strings.
        BinaryList list;
        list.add(BinaryList::container(0xD, 1) + BinaryList::ref(1) + BinaryList::ref(2));
        list.add(QByteArray("\x10\x05", 2));
        list.add(BinaryList::ascii("v"));
        QTest::newRow("integer dictionary key") << list.build();
    }
    {
        BinaryList list;
        list.add(QByteArray("\x70\x00", 2));
        QTest::newRow("unknown object type") << list.build();
    }
    {
        // No preference file holds a string with a NUL in it.
        BinaryList list;
        list.add(BinaryList::container(0xD, 1) + BinaryList::ref(1) + BinaryList::ref(2));
        list.add(QByteArray("\x53k\0y", 4));
        list.add(BinaryList::ascii("v"));
        QTest::newRow("NUL inside an ASCII key") << list.build();
        BinaryList utf16;
        utf16.add(BinaryList::container(0xA, 1) + BinaryList::ref(1));
        utf16.add(QByteArray("\x62\0a\0\0", 5));
        QTest::newRow("NUL inside a UTF-16 string") << utf16.build();
    }
}

void TestPropertyList::malformedBinaryIsNoList()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!PropertyList::isWithinLimits(bytes, {}));
    QVERIFY(!PropertyList::parse(bytes).has_value());
}

void TestPropertyList::malformedInputIsNoList_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("plain text") << QByteArray("hello, this is no property list\n");
    QByteArray noise;
    for (int i = 0; i < 4096; ++i)
        noise.append(char((i * 7919 + 13) % 251));
    QTest::newRow("noise") << noise;
    QTest::newRow("binary magic then noise") << QByteArray("bplist00") + noise;
    QTest::newRow("binary magic alone") << QByteArray("bplist00");
    QTest::newRow("unclosed dictionary")
        << QByteArray("<plist version=\"1.0\"><dict><key>a</key><string>b</string>");
    QTest::newRow("mismatched closing tags")
        << QByteArray("<plist><array><array></dict></dict></plist>");
    QTest::newRow("unterminated comment") << QByteArray("<plist><!-- <array></plist>");
    QTest::newRow("unterminated tag") << QByteArray("<plist><array");
    // A lenient reader would take these and repair them silently.
    QTest::newRow("bad declaration") << QByteArray("<?xml version=\"2.0\"?><plist><string>x</string></plist>");
    QTest::newRow("text after the list") << QByteArray("<plist><string>x</string></plist>junk");
    QTest::newRow("two lists") << QByteArray("<plist><string>x</string></plist><plist><true/></plist>");
    QTest::newRow("reference to a control character")
        << QByteArray("<plist><string>a&#1;b</string></plist>");
    QTest::newRow("encoding other than UTF-8")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist><string>\xe9</string></plist>");
    QTest::newRow("xml string ending in NUL")
        << QByteArray("<plist><dict><key>a</key><string>hell\0</string></dict></plist>", 62);
}

void TestPropertyList::malformedInputIsNoList()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!PropertyList::parse(bytes).has_value());
}

void TestPropertyList::sharedReferencesThatUnfoldHugelyAreNoList()
{
    // 48 levels that each refer twice to the next: a few hundred bytes that
    // unfold into 2^48 values.
    BinaryList list;
    const int levels = 48;
    for (int i = 0; i < levels; ++i)
        list.add(BinaryList::array({quint64(i + 1), quint64(i + 1)}));
    list.add(BinaryList::array({}));
    const QByteArray bytes = list.build();
    QVERIFY(bytes.size() < 1024);
    // Unfolding it would never finish; the check must refuse it by counting.
    QVERIFY(!PropertyList::parse(bytes).has_value());
}

void TestPropertyList::modestSharingIsAccepted()
{
    // Writers share equal strings; that must keep working.
    BinaryList list;
    list.add(BinaryList::array({1, 1, 1}));
    list.add(BinaryList::ascii("same"));
    const auto value = PropertyList::parse(list.build());
    QVERIFY(value.has_value());
    const QVariantList expected{QStringLiteral("same"), QStringLiteral("same"), QStringLiteral("same")};
    QCOMPARE(value->toList(), expected);

    // The node limit is about the unfolded tree: four values fit in four
    // nodes, not in three.
    Limits tight;
    tight.maxNodes = 4;
    QVERIFY(PropertyList::parse(list.build(), tight).has_value());
    tight.maxNodes = 3;
    QVERIFY(!PropertyList::parse(list.build(), tight).has_value());
}

void TestPropertyList::objectCountBeyondTheNodeLimitIsNoList()
{
    // The check keeps a few words per object, so a list claiming more
    // objects than the tree may have nodes is turned away before it counts
    // them; a 16 MiB one used to cost half a gigabyte here.
    const Limits limits;
    const auto count = quint64(limits.maxNodes);
    const auto atLimit = PropertyList::parse(listClaimingObjects(count), limits);
    QVERIFY(atLimit.has_value());
    QCOMPARE(*atLimit, QVariant(true));
    QVERIFY(!PropertyList::parse(listClaimingObjects(count + 1), limits).has_value());
}

void TestPropertyList::sizeCapAppliesToBytesAndFiles()
{
    const QVariantMap map{{QStringLiteral("pad"), QString(1000, QLatin1Char('x'))}};
    const QByteArray xml = PropertyList::serialize(QVariant(map), Format::Xml);
    Limits limits;
    limits.maxBytes = xml.size();
    QVERIFY(PropertyList::parse(xml, limits).has_value());
    limits.maxBytes = xml.size() - 1;
    QVERIFY(!PropertyList::parse(xml, limits).has_value());

    // Files at the default cap: one byte over is refused without reading it
    // all, exactly at it is read.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray head = "<plist version=\"1.0\"><dict><key>pad</key><string>";
    const QByteArray tail = "</string></dict></plist>";
    const qint64 cap = Limits{}.maxBytes;
    const QByteArray atCap = head + QByteArray(cap - head.size() - tail.size(), 'x') + tail;
    QCOMPARE(atCap.size(), cap);
    const QString atCapPath = dir.filePath(QStringLiteral("at-cap.plist"));
    const QString overPath = dir.filePath(QStringLiteral("over.plist"));
    {
        QFile at(atCapPath);
        QVERIFY(at.open(QIODevice::WriteOnly));
        QCOMPARE(at.write(atCap), cap);
        QFile over(overPath);
        QVERIFY(over.open(QIODevice::WriteOnly));
        QCOMPARE(over.write(head + "x" + atCap.mid(head.size())), cap + 1);
    }
    const auto read = PropertyList::readDictionaryFile(atCapPath);
    QVERIFY(read.has_value());
    QCOMPARE(read->value(QStringLiteral("pad")).toString().size(), cap - head.size() - tail.size());
    QVERIFY(!PropertyList::readDictionaryFile(overPath).has_value());
}

void TestPropertyList::roundTripKeepsEveryValueType_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("xml") << int(Format::Xml);
    QTest::newRow("binary") << int(Format::Binary);
}

void TestPropertyList::roundTripKeepsEveryValueType()
{
    QFETCH(int, format);
    const QVariantMap original = everyValueType();
    const QByteArray bytes = PropertyList::serialize(QVariant(original), Format(format));
    QVERIFY(!bytes.isEmpty());

    Format found = Format(1 - format);
    const std::optional<PropertyList::Value> value = PropertyList::readExact(bytes, {}, &found);
    QVERIFY(value);
    QCOMPARE(int(found), format);
    const QVariantMap back = PropertyList::toVariant(*value).toMap();
    QCOMPARE(back.keys(), original.keys());
    for (auto it = original.cbegin(); it != original.cend(); ++it) {
        const QVariant &value = back.value(it.key());
        if (it->typeId() == QMetaType::QDateTime)
            QCOMPARE(value.toDateTime(), it->toDateTime());
        else
            QCOMPARE(value, it.value());
    }

    // A list of strings is written as an array, not flattened to a string.
    const QStringList names{QStringLiteral("one"), QStringLiteral("two")};
    const auto list = PropertyList::parse(PropertyList::serialize(QVariant(names), Format(format)));
    QVERIFY(list.has_value());
    QCOMPARE(list->toStringList(), names);

    // An XML date has whole seconds; a binary one keeps the milliseconds.
    const QDateTime precise(QDate(2005, 4, 29), QTime(18, 30, 15, 250), QTimeZone::utc());
    const auto dates = PropertyList::parse(PropertyList::serialize(QVariantList{precise}, Format(format)));
    QVERIFY(dates.has_value());
    QCOMPARE(dates->toList().value(0).toDateTime(),
             Format(format) == Format::Xml ? precise.addMSecs(-250) : precise);
}

void TestPropertyList::readDictionaryFileWantsADictionary()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString arrayPath = dir.filePath(QStringLiteral("array.plist"));
    QFile file(arrayPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(PropertyList::serialize(QVariant(QVariantList{QStringLiteral("a")}), Format::Binary));
    file.close();
    QVERIFY(!PropertyList::readDictionaryFile(arrayPath).has_value());
    QVERIFY(!PropertyList::readDictionaryFile(dir.filePath(QStringLiteral("missing.plist"))).has_value());
    QVERIFY(!PropertyList::readDictionaryFile(dir.path()).has_value());
    // A FIFO in place of the file must not block the reader.
    const QString fifo = dir.filePath(QStringLiteral("fifo.plist"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(!PropertyList::readDictionaryFile(fifo).has_value());
}

void TestPropertyList::plainXmlReadsAsTheGeneralReaderDoes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("plain"); // whether the plain reader takes it itself
    QTest::newRow("every leaf") << QByteArray("<dict><key>s</key><string>a b</string><key>i</key><integer>-12</integer>"
                                              "<key>r</key><real>2.5e3</real><key>t</key><true/><key>f</key><false/>"
                                              "<key>d</key><date>2005-04-29T18:30:15Z</date>"
                                              "<key>b</key><data>AAH+/w==</data><key>e</key><string/></dict>")
                                << true;
    QTest::newRow("entities and references")
        << QByteArray("<string>&amp;&lt;&gt;&quot;&apos; &#13;&#x1F600;&#233;</string>") << true;
    QTest::newRow("UTF-8 of every length") << QByteArray("<string>\xc3\xa9\xe2\x80\x94\xf0\x9f\x98\x80</string>")
                                           << true;
    QTest::newRow("whitespace around values") << QByteArray("<array>\n\t<true> </true>\n</array>") << true;
    QTest::newRow("date with a fraction") << QByteArray("<date>2005-04-29T18:30:15.5Z</date>") << true;
    QTest::newRow("empty containers") << QByteArray("<array><dict/><array/><dict></dict></array>") << true;
    // Left to the general reader, which takes them:
    QTest::newRow("comment") << QByteArray("<array><!-- x --><true/></array>") << false;
    QTest::newRow("CDATA") << QByteArray("<string><![CDATA[<a>]]></string>") << false;
    QTest::newRow("raw carriage return") << QByteArray("<string>a\r\nb\rc</string>") << false;
    QTest::newRow("space inside a tag") << QByteArray("<array><true /></array>") << false;
    QTest::newRow("DEL") << QByteArray("<string>\x7f</string>") << false;
    // ... and that it refuses:
    QTest::newRow("invalid UTF-8") << QByteArray("<string>\xc3\x28</string>") << false;
    QTest::newRow("encoded surrogate") << QByteArray("<string>\xed\xa0\x80</string>") << false;
    QTest::newRow("overlong UTF-8") << QByteArray("<string>\xc0\xaf</string>") << false;
    QTest::newRow("reference to NUL") << QByteArray("<string>&#0;</string>") << false;
    QTest::newRow("reference past Unicode") << QByteArray("<string>&#x110000;</string>") << false;
    QTest::newRow("unknown entity") << QByteArray("<string>&nbsp;</string>") << false;
    QTest::newRow("]]> in text") << QByteArray("<string>a]]>b</string>") << false;
    QTest::newRow("control character") << QByteArray("<string>\x01</string>") << false;
    QTest::newRow("duplicate key") << QByteArray("<dict><key>a</key><true/><key>a</key><false/></dict>") << false;
    QTest::newRow("key without a value") << QByteArray("<dict><key>a</key></dict>") << false;
    QTest::newRow("mismatched end") << QByteArray("<array></dict>") << false;
    QTest::newRow("element inside a string") << QByteArray("<string>a<b/>c</string>") << false;
    QTest::newRow("unknown element") << QByteArray("<array><nil/></array>") << false;
    QTest::newRow("bad integer") << QByteArray("<integer>12a</integer>") << false;
    QTest::newRow("bad real") << QByteArray("<real>1e</real>") << false;
    QTest::newRow("bad date") << QByteArray("<date>2005-02-29T00:00:00Z</date>") << false;
    QTest::newRow("bad base64") << QByteArray("<data>AA=A</data>") << false;
}

void TestPropertyList::plainXmlReadsAsTheGeneralReaderDoes()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, plain);
    const QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                             "<plist version=\"1.0\">\n"
                             + body + "\n</plist>\n";
    const std::optional<PropertyList::Value> fast = PropertyList::readPlainXml(bytes, {});
    const std::optional<PropertyList::Value> general = PropertyList::readGeneralXml(bytes, {}, nullptr);
    QCOMPARE(fast.has_value(), plain);
    const std::optional<PropertyList::Value> read = PropertyList::readExact(bytes);
    QCOMPARE(read.has_value(), general.has_value());
    if (read) {
        QVERIFY(*read == *general);
        // The same text too, which is what an XML date is written back as.
        QCOMPARE(PropertyList::writeExact(*read, Format::Xml), PropertyList::writeExact(*general, Format::Xml));
    }
}

void TestPropertyList::tooDeepIsToldFromNoList()
{
    const int limit = Limits{}.maxDepth;
    QVERIFY(PropertyList::isNestedTooDeeply(nestedXmlArrays(limit + 1), {}));
    QVERIFY(PropertyList::isNestedTooDeeply(nestedBinaryArrays(limit + 1), {}));
    QVERIFY(!PropertyList::isNestedTooDeeply(nestedXmlArrays(limit), {}));
    QVERIFY(!PropertyList::isNestedTooDeeply(nestedBinaryArrays(limit), {}));
    // Deep, but not well-formed either: no list.
    QByteArray broken = nestedXmlArrays(limit + 1);
    broken.chop(QByteArray("</plist>\n").size());
    QVERIFY(!PropertyList::isNestedTooDeeply(broken, {}));
    QVERIFY(!PropertyList::isNestedTooDeeply(QByteArray("no list at all"), {}));
}

void TestPropertyList::duplicateKeysAreRefusedInLargeDictionaries_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("keys");
    for (const int keys : {9, 1000}) {
        QTest::addRow("xml, %d keys", keys) << int(Format::Xml) << keys;
        QTest::addRow("binary, %d keys", keys) << int(Format::Binary) << keys;
    }
}

void TestPropertyList::duplicateKeysAreRefusedInLargeDictionaries()
{
    QFETCH(int, format);
    QFETCH(int, keys);
    PropertyList::Value dictionary;
    for (int i = 0; i < keys; ++i)
        dictionary.insert(QStringLiteral("key %1").arg(i), PropertyList::Value::string(QString::number(i)));
    const QByteArray distinct = *PropertyList::writeExact(dictionary, Format(format));
    QCOMPARE(PropertyList::parse(distinct)->toMap().size(), keys);

    // The writer does not look; the model lets a key in twice directly.
    for (const int twice : {0, keys / 2, keys - 2}) {
        PropertyList::Value doubled = dictionary;
        doubled.keys.push_back(doubled.keys[size_t(twice)]);
        doubled.items.push_back(PropertyList::Value::string(QStringLiteral("again")));
        const QByteArray bytes = *PropertyList::writeExact(doubled, Format(format));
        QString why;
        QVERIFY(!PropertyList::readExact(bytes, {}, nullptr, &why));
        QVERIFY2(why.contains(QStringLiteral("twice")), qPrintable(why));
    }
}

QTEST_GUILESS_MAIN(TestPropertyList)
#include "tst_propertylist.moc"
