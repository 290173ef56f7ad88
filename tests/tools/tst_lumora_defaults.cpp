// lumora-defaults run as a real process on real XML and binary domain files.

#include "tests/fakes/FileBytes.h"
#include "platform/PropertyList.h"
#include "platform/PropertyListValue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-defaults"), arguments);
    Result result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Values of every kind the login window's domain may hold next to ours.
QVariantMap otherKeys()
{
    return {
        {QStringLiteral("AdminHostInfo"), QStringLiteral("HostName")},
        {QStringLiteral("RetriesUntilHint"), qulonglong(3)},
        {QStringLiteral("Scale"), 1.5},
        {QStringLiteral("SHOWFULLNAME"), true},
        {QStringLiteral("Blob"), QByteArray("\x00\x01\xfe\xff", 4)},
        {QStringLiteral("When"), QDateTime(QDate(2006, 5, 4), QTime(3, 2, 1), QTimeZone::utc())},
        {QStringLiteral("List"), QVariantList{QStringLiteral("a"), qulonglong(2)}},
        {QStringLiteral("Nested"), QVariantMap{{QStringLiteral("inner"), QStringLiteral("x")}}},
    };
}

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestLumoraDefaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-defaults")).isExecutable(),
                 "lumora-defaults is not built beside the tests");
    }

    void writeKeepsEverythingElse_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("stored");

        const QList<std::tuple<const char *, QString, QString>> rows = {
            {"plain", QStringLiteral("Welcome"), QStringLiteral("Welcome")},
            {"quoted", QStringLiteral("\"Welcome home\""), QStringLiteral("Welcome home")},
            {"escaped quote", QStringLiteral("\"say \\\"hi\\\"\""), QStringLiteral("say \"hi\"")},
            {"escaped backslash", QStringLiteral("\"C:\\\\new\""), QStringLiteral("C:\\new")},
            {"other escape kept", QStringLiteral("\"a\\nb\""), QStringLiteral("a\\nb")},
            {"trailing backslash", QStringLiteral("\"end\\\""), QStringLiteral("end\\")},
            {"newlines", QStringLiteral("\"line one\nline two\n\""), QStringLiteral("line one\nline two\n")},
            {"non-ASCII", QStringLiteral("\"Caf\u00e9 \u65e5\u672c \U0001F600\""),
             QStringLiteral("Caf\u00e9 \u65e5\u672c \U0001F600")},
            {"markup", QStringLiteral("<b>&amp;</b>"), QStringLiteral("<b>&amp;</b>")},
            {"empty quotes", QStringLiteral("\"\""), QString()},
            {"lone quote", QStringLiteral("\""), QStringLiteral("\"")},
            {"unquoted backslash", QStringLiteral("a\\\"b"), QStringLiteral("a\\\"b")},
            {"quote only at start", QStringLiteral("\"abc"), QStringLiteral("\"abc")},
        };
        for (const bool binary : {false, true}) {
            for (const auto &[name, argument, stored] : rows) {
                QTest::addRow("%s %s", binary ? "binary" : "xml", name) << binary << argument << stored;
            }
        }
    }

    void writeKeepsEverythingElse()
    {
        QFETCH(bool, binary);
        QFETCH(QString, argument);
        QFETCH(QString, stored);

        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("com.apple.loginwindow"));
        const QString file = domain + QStringLiteral(".plist");
        const auto format = binary ? PropertyList::Format::Binary : PropertyList::Format::Xml;
        QVERIFY(writeBytes(file, PropertyList::serialize(QVariant(otherKeys()), format)));
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0640) == 0);

        const Result r = runTool({QStringLiteral("write"), domain, QStringLiteral("LoginwindowText"), argument});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.isEmpty(), r.err.constData());

        const QByteArray bytes = readBytes(file);
        QCOMPARE(bytes.startsWith("bplist00"), binary);
        PropertyList::Format found = PropertyList::Format::Xml;
        const std::optional<PropertyList::Value> value = PropertyList::readExact(bytes, {}, &found);
        QVERIFY(value);
        QVERIFY(found == format);

        QVariantMap expected = otherKeys();
        expected.insert(QStringLiteral("LoginwindowText"), stored);
        QCOMPARE(PropertyList::toVariant(*value).toMap(), expected);

        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
        QCOMPARE(leftovers(dir.path()), QStringList{QStringLiteral("com.apple.loginwindow.plist")});

        // What was written reads back through the tool unchanged.
        const Result back = runTool({QStringLiteral("read"), domain, QStringLiteral("LoginwindowText")});
        QCOMPARE(back.exitCode, 0);
        QCOMPARE(QString::fromUtf8(back.out), stored + QLatin1Char('\n'));
    }

    // Typed values as the system's defaults tool takes them; a word that is
    // not of the type must leave the file as it was, not store a string.
    void typedWriteStoresBooleanOrInteger_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QVariant>("stored"); // invalid: refused
        QTest::addColumn<QString>("readBack");
        for (const bool binary : {false, true}) {
            const char *format = binary ? "binary" : "XML";
            auto row = [&](const char *what) -> QTestData & { return QTest::addRow("%s, %s", format, what); };
            row("YES") << binary << "-bool" << "YES" << QVariant(true) << "1\n";
            row("false") << binary << "-bool" << "false" << QVariant(false) << "0\n";
            row("TRUE") << binary << "-boolean" << "TRUE" << QVariant(true) << "1\n";
            row("0") << binary << "-bool" << "0" << QVariant(false) << "0\n";
            row("3") << binary << "-int" << "3" << QVariant(qulonglong(3)) << "3\n";
            row("large") << binary << "-integer" << "4294967296" << QVariant(qulonglong(4294967296ULL))
                         << "4294967296\n";
            row("bool word 'maybe'") << binary << "-bool" << "maybe" << QVariant() << "";
            row("int with a space") << binary << "-int" << " 3" << QVariant() << "";
            row("int 3.5") << binary << "-int" << "3.5" << QVariant() << "";
            row("int beyond 64 bits") << binary << "-int" << "99999999999999999999" << QVariant() << "";
        }
    }

    void typedWriteStoresBooleanOrInteger()
    {
        QFETCH(bool, binary);
        QFETCH(QString, type);
        QFETCH(QString, argument);
        QFETCH(QVariant, stored);
        QFETCH(QString, readBack);

        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("com.apple.loginwindow"));
        const QString file = domain + QStringLiteral(".plist");
        const auto format = binary ? PropertyList::Format::Binary : PropertyList::Format::Xml;
        QVERIFY(writeBytes(file, PropertyList::serialize(QVariant(otherKeys()), format)));
        const QByteArray before = readBytes(file);

        const Result r = runTool({QStringLiteral("write"), domain, QStringLiteral("Option"), type, argument});
        if (!stored.isValid()) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY(!r.err.isEmpty());
            QCOMPARE(readBytes(file), before);
            return;
        }
        QCOMPARE(r.exitCode, 0);
        const QByteArray bytes = readBytes(file);
        QCOMPARE(bytes.startsWith("bplist00"), binary);
        QVariantMap expected = otherKeys();
        expected.insert(QStringLiteral("Option"), stored);
        const QVariantMap found = PropertyList::parse(bytes)->toMap();
        QCOMPARE(found, expected);
        QCOMPARE(found.value(QStringLiteral("Option")).typeId(), stored.typeId());

        const Result back = runTool({QStringLiteral("read"), domain, QStringLiteral("Option")});
        QCOMPARE(QString::fromUtf8(back.out), readBack);
    }

    // A control character would make an XML list unreadable for the login
    // window; a binary list holds it without trouble.
    void controlCharactersOnlyIntoBinaryLists_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::newRow("xml refused") << false;
        QTest::newRow("binary stored") << true;
    }

    void controlCharactersOnlyIntoBinaryLists()
    {
        QFETCH(bool, binary);
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("d"));
        const QString file = domain + QStringLiteral(".plist");
        const auto format = binary ? PropertyList::Format::Binary : PropertyList::Format::Xml;
        const QByteArray before = PropertyList::serialize(QVariant(otherKeys()), format);
        QVERIFY(writeBytes(file, before));
        const QString text = QStringLiteral("bell\x07 escape\x1b");
        const Result r = runTool({QStringLiteral("write"), domain, QStringLiteral("k"), text});
        if (binary) {
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(PropertyList::readDictionaryFile(file)->value(QStringLiteral("k")).toString(), text);
        } else {
            QCOMPARE(r.exitCode, 1);
            QCOMPARE(readBytes(file), before);
        }
    }

    void writeCreatesMissingDomainAsBinary()
    {
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("fresh"));
        const Result r = runTool({QStringLiteral("write"), domain, QStringLiteral("DesktopPicture"),
                                  QStringLiteral("/Library/Application Support/Lumora/login_background.jpg")});
        QCOMPARE(r.exitCode, 0);
        const QByteArray bytes = readBytes(domain + QStringLiteral(".plist"));
        QVERIFY(bytes.startsWith("bplist00"));
        const auto map = PropertyList::parse(bytes);
        QVERIFY(map);
        QCOMPARE(map->toMap(),
                 (QVariantMap{{QStringLiteral("DesktopPicture"),
                               QStringLiteral("/Library/Application Support/Lumora/login_background.jpg")}}));
    }

    void deleteRemovesOnlyThatKey_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::newRow("xml") << false;
        QTest::newRow("binary") << true;
    }

    void deleteRemovesOnlyThatKey()
    {
        QFETCH(bool, binary);
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("d"));
        const QString file = domain + QStringLiteral(".plist");
        const auto format = binary ? PropertyList::Format::Binary : PropertyList::Format::Xml;
        QVERIFY(writeBytes(file, PropertyList::serialize(QVariant(otherKeys()), format)));

        QCOMPARE(runTool({QStringLiteral("delete"), domain, QStringLiteral("AdminHostInfo")}).exitCode, 0);
        QVariantMap expected = otherKeys();
        expected.remove(QStringLiteral("AdminHostInfo"));
        const QByteArray bytes = readBytes(file);
        QCOMPARE(bytes.startsWith("bplist00"), binary);
        QCOMPARE(PropertyList::parse(bytes)->toMap(), expected);

        // A key that is already gone: success, and the file is not rewritten.
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &before), 0);
        QCOMPARE(runTool({QStringLiteral("delete"), domain, QStringLiteral("AdminHostInfo")}).exitCode, 0);
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(readBytes(file), bytes);
    }

    void deleteFromMissingDomainChangesNothing()
    {
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("absent"));
        const Result r = runTool({QStringLiteral("delete"), domain, QStringLiteral("LoginwindowText")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(leftovers(dir.path()).isEmpty());
    }

    void unparsableFileIsLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("command");

        QByteArray deep = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
        for (int i = 0; i < 200; ++i)
            deep += "<array>";
        for (int i = 0; i < 200; ++i)
            deep += "</array>";
        deep += "</plist>\n";

        const QByteArray binary = PropertyList::serialize(QVariant(otherKeys()), PropertyList::Format::Binary);
        const QByteArray notDictionary =
            PropertyList::serialize(QVariant(QVariantList{QStringLiteral("x")}), PropertyList::Format::Xml);
        const QList<std::pair<const char *, QByteArray>> files = {
            {"garbage", QByteArray("this is not a property list\n")},
            {"broken xml", QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key><string>b</dict>")},
            {"truncated binary", binary.left(binary.size() / 2)},
            {"too deep", deep},
            {"not a dictionary", notDictionary},
            {"empty", QByteArray()},
            {"NUL inside a string", QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key><string>x\0y</string>"
                                               "</dict></plist>", 81)},
            {"invalid UTF-8", QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key><string>\xff\xfe</string>"
                                         "</dict></plist>")},
        };
        for (const auto &[name, contents] : files) {
            QTest::addRow("write %s", name) << contents << QStringLiteral("write");
            QTest::addRow("delete %s", name) << contents << QStringLiteral("delete");
        }
    }

    void unparsableFileIsLeftUntouched()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, command);
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("com.apple.loginwindow"));
        const QString file = domain + QStringLiteral(".plist");
        QVERIFY(writeBytes(file, contents));

        QStringList arguments{command, domain, QStringLiteral("a")};
        if (command == QLatin1String("write"))
            arguments << QStringLiteral("value");
        const Result r = runTool(arguments);
        QVERIFY(r.exitCode != 0);
        QVERIFY(r.exitCode != 64);
        QVERIFY(!r.err.isEmpty());
        QCOMPARE(readBytes(file), contents);
        QCOMPARE(leftovers(dir.path()), QStringList{QStringLiteral("com.apple.loginwindow.plist")});
    }

    void oversizedFileIsLeftUntouched()
    {
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("big"));
        const QString file = domain + QStringLiteral(".plist");
        QByteArray contents = "<?xml version=\"1.0\"?><plist><dict><key>a</key><string>";
        contents += QByteArray(17 * 1024 * 1024, 'x');
        contents += "</string></dict></plist>";
        QVERIFY(writeBytes(file, contents));
        const Result r = runTool({QStringLiteral("write"), domain, QStringLiteral("b"), QStringLiteral("c")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(readBytes(file), contents);
    }

    void keepsOwnerAndFollowsLinks()
    {
        if (::geteuid() != 0)
            QSKIP("changing a file's owner needs root; the owner part of this test runs in CI");
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("real.plist"));
        QVERIFY(writeBytes(target, PropertyList::serialize(QVariant(otherKeys()), PropertyList::Format::Xml)));
        QVERIFY(::chown(QFile::encodeName(target).constData(), 65534, 65534) == 0);
        QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("linked.plist"))));

        const Result r = runTool({QStringLiteral("write"), dir.filePath(QStringLiteral("linked")),
                                  QStringLiteral("k"), QStringLiteral("v")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("linked.plist"))).isSymLink());
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &info), 0);
        QCOMPARE(info.st_uid, uid_t(65534));
        QCOMPARE(info.st_gid, gid_t(65534));
        QCOMPARE(PropertyList::readDictionaryFile(target)->value(QStringLiteral("k")).toString(),
                 QStringLiteral("v"));
    }

    void readReportsMissingKeyAndDomain()
    {
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("d"));
        QCOMPARE(runTool({QStringLiteral("read"), domain}).exitCode, 1);
        QVERIFY(writeBytes(domain + QStringLiteral(".plist"),
                           PropertyList::serialize(QVariant(otherKeys()), PropertyList::Format::Binary)));
        QCOMPARE(runTool({QStringLiteral("read"), domain, QStringLiteral("nope")}).exitCode, 1);
        const Result number = runTool({QStringLiteral("read"), domain, QStringLiteral("RetriesUntilHint")});
        QCOMPARE(number.exitCode, 0);
        QCOMPARE(number.out, QByteArray("3\n"));
        // The whole domain comes out as a readable list of every key.
        const Result all = runTool({QStringLiteral("read"), domain});
        QCOMPARE(all.exitCode, 0);
        QCOMPARE(PropertyList::parse(all.out)->toMap(), otherKeys());
    }

    // What read prints must read back as the stored value: the sign of
    // -0.0 included, and a date with a fraction of a second, which no XML
    // date can hold, refused rather than cut to whole seconds.
    void readKeepsSignAndRefusesFractionalDates()
    {
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("d"));
        PropertyList::Value root;
        PropertyList::Value zero;
        zero.type = PropertyList::Value::Type::Real;
        zero.real = -0.0;
        root.insert(QStringLiteral("Zero"), zero);
        PropertyList::Value when;
        when.type = PropertyList::Value::Type::Date;
        when.real = 136405815.0;
        root.insert(QStringLiteral("Whole"), when);
        when.real = 136405815.25;
        root.insert(QStringLiteral("Fraction"), when);
        QVERIFY(writeBytes(domain + QStringLiteral(".plist"),
                           *PropertyList::writeExact(root, PropertyList::Format::Binary)));

        const Result signedZero = runTool({QStringLiteral("read"), domain, QStringLiteral("Zero")});
        QCOMPARE(signedZero.exitCode, 0);
        QCOMPARE(signedZero.out, QByteArray("-0\n"));

        const Result whole = runTool({QStringLiteral("read"), domain, QStringLiteral("Whole")});
        QCOMPARE(whole.exitCode, 0);
        QVERIFY2(whole.out.contains("<date>2005-04-28T18:30:15Z</date>"), whole.out.constData());

        for (const Result &refused : {runTool({QStringLiteral("read"), domain, QStringLiteral("Fraction")}),
                                      runTool({QStringLiteral("read"), domain})}) {
            QCOMPARE(refused.exitCode, 1);
            QVERIFY(refused.out.isEmpty());
            QVERIFY2(refused.err.contains("fraction of a second"), refused.err.constData());
        }
    }

    void usageErrorsExit64_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("remove"), QStringLiteral("/tmp/d"),
                                                        QStringLiteral("k")};
        QTest::newRow("write without value") << QStringList{QStringLiteral("write"), QStringLiteral("/tmp/d"),
                                                            QStringLiteral("k")};
        QTest::newRow("delete without key") << QStringList{QStringLiteral("delete"), QStringLiteral("/tmp/d")};
        QTest::newRow("read with extra") << QStringList{QStringLiteral("read"), QStringLiteral("/tmp/d"),
                                                        QStringLiteral("k"), QStringLiteral("x")};
        QTest::newRow("empty domain") << QStringList{QStringLiteral("write"), QString(), QStringLiteral("k"),
                                                     QStringLiteral("v")};
        QTest::newRow("unknown type flag") << QStringList{QStringLiteral("write"), QStringLiteral("/tmp/d"),
                                                          QStringLiteral("k"), QStringLiteral("-float"),
                                                          QStringLiteral("1")};
    }

    void usageErrorsExit64()
    {
        QFETCH(QStringList, arguments);
        const Result r = runTool(arguments);
        QCOMPARE(r.exitCode, 64);
        QVERIFY(r.err.startsWith("usage: lumora-defaults"));
    }
};

QTEST_GUILESS_MAIN(TestLumoraDefaults)
#include "tst_lumora_defaults.moc"
