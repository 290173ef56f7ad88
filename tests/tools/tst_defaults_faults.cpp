// lumora-defaults on hostile domain files: every value it was not asked to
// change is carried exactly, or the file is refused and left alone; links
// are followed only inside the domain's folder; writers take turns.

#include "tests/fakes/FileBytes.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <QtEndian>

#include <bit>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QString toolPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-defaults");
}

Result runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(toolPath(), arguments);
    Result result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QByteArray bigEndian(quint64 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xff);
    return bytes;
}

// A binary list {"k": object, "other": "x"}, the object given as its bytes.
QByteArray binaryDict(const QByteArray &object)
{
    const QList<QByteArray> objects = {
        QByteArray("\xd2\x01\x02\x03\x04", 5), "\x51k", "\x55other", object, "\x51x"};
    QByteArray bytes = "bplist00";
    QByteArray table;
    for (const QByteArray &o : objects) {
        table += bigEndian(quint64(bytes.size()), 1);
        bytes += o;
    }
    const quint64 tableOffset = quint64(bytes.size());
    return bytes + table + QByteArray(6, '\0') + "\x01\x01" + bigEndian(quint64(objects.size()), 8)
           + bigEndian(0, 8) + bigEndian(tableOffset, 8);
}

QByteArray binaryDouble(int marker, double value)
{
    return char(marker) + bigEndian(std::bit_cast<quint64>(value), 8);
}

QByteArray xmlDict(const QByteArray &entries)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "\t<key>other</key>\n\t<string>x</string>\n"
           + entries + "</dict>\n</plist>\n";
}

// Seconds from 2001-01-01 to a moment, by QDate's own calendar.
double secondsSince2001(const QDate &date, int secondOfDay)
{
    return double(date.toJulianDay() - QDate(2001, 1, 1).toJulianDay()) * 86400 + secondOfDay;
}

bool wellFormed(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestDefaultsFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(QFileInfo(toolPath()).isExecutable(), "lumora-defaults is not built beside the tests");
    }

    // One row per fault found against an independent reader. `carried`
    // must appear in the file afterwards (or on standard output for read);
    // an empty `carried` means the file must be refused and left as it was.
    void hostileInputs_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QByteArray>("carried");

        const QStringList write{QStringLiteral("write"), QStringLiteral("new"), QStringLiteral("v")};
        const QStringList readAll{QStringLiteral("read")};
        const QStringList readK{QStringLiteral("read"), QStringLiteral("k")};
        const double year999 = secondsSince2001(QDate(999, 12, 31), 86399);

        QTest::newRow("1 year 999 in XML stays zero-padded")
            << xmlDict("\t<key>k</key>\n\t<date>0999-12-31T23:59:59Z</date>\n") << write
            << QByteArray("<date>0999-12-31T23:59:59Z</date>");
        QTest::newRow("1 year 999 of a binary list read zero-padded")
            << binaryDict(binaryDouble(0x33, year999)) << readAll << QByteArray("<date>0999-12-31T23:59:59Z</date>");
        QTest::newRow("2 CR written into XML as a reference")
            << xmlDict("") << QStringList{QStringLiteral("write"), QStringLiteral("new"), QStringLiteral("a\rb")}
            << QByteArray("<string>a&#13;b</string>");
        QTest::newRow("2 CR in another key of XML")
            << xmlDict("\t<key>k</key>\n\t<string>a&#13;b</string>\n") << write << QByteArray("<string>a&#13;b</string>");
        QTest::newRow("3 -0.0 in XML") << xmlDict("\t<key>k</key>\n\t<real>-0.0</real>\n") << write
                                       << QByteArray("<real>-0</real>");
        QTest::newRow("3 -0.0 in binary") << binaryDict(binaryDouble(0x23, -0.0)) << write
                                          << binaryDouble(0x23, -0.0);
        const QByteArray twoTo64 = QByteArray("\x14", 1) + bigEndian(1, 8) + bigEndian(0, 8);
        QTest::newRow("4 16-byte 2^64 in binary") << binaryDict(twoTo64) << write << twoTo64;
        QTest::newRow("4 below -2^63 in XML")
            << xmlDict("\t<key>k</key>\n\t<integer>-9223372036854775809</integer>\n") << write
            << QByteArray("<integer>-9223372036854775809</integer>");
        QTest::newRow("4 2^64 in XML") << xmlDict("\t<key>k</key>\n\t<integer>18446744073709551616</integer>\n")
                                       << write << QByteArray("<integer>18446744073709551616</integer>");
        QTest::newRow("4 read of 2^63")
            << binaryDict(QByteArray("\x14", 1) + bigEndian(0, 8) + bigEndian(Q_UINT64_C(1) << 63, 8)) << readK
            << QByteArray("9223372036854775808\n");
        QTest::newRow("5 ASCII string holding 0xE9") << binaryDict("\x53\x63\x61\xe9") << write << QByteArray();
        QTest::newRow("5 UTF-16 string with a lone surrogate")
            << binaryDict(QByteArray("\x62\x00\x61\xd8\x00", 5)) << write << QByteArray();
        QTest::newRow("5 key without a value") << xmlDict("\t<key>k</key>\n") << write << QByteArray();
        QTest::newRow("5 bad base64") << xmlDict("\t<key>k</key>\n\t<data>AB*=</data>\n") << write << QByteArray();
        QTest::newRow("5 date with a fraction")
            << xmlDict("\t<key>k</key>\n\t<date>2001-01-01T00:00:00.5Z</date>\n") << write
            << QByteArray("<date>2001-01-01T00:00:00.5Z</date>");
        QTest::newRow("5 stray ampersand") << xmlDict("\t<key>k</key>\n\t<string>a & b</string>\n") << write
                                           << QByteArray();
        QByteArray badDeclaration = xmlDict("");
        badDeclaration.replace("version=\"1.0\" encoding", "version=\"2.0\" encoding");
        QTest::newRow("5 bad declaration") << badDeclaration << write << QByteArray();
        QTest::newRow("5 integer beyond 128 bits")
            << xmlDict("\t<key>k</key>\n\t<integer>340282366920938463463374607431768211456</integer>\n") << write
            << QByteArray();
        QTest::newRow("5 the same key twice") << xmlDict("\t<key>other</key>\n\t<string>y</string>\n") << write
                                              << QByteArray();
        QTest::newRow("5 delete from malformed XML")
            << xmlDict("\t<key>k</key>\n\t<data>AB*=</data>\n")
            << QStringList{QStringLiteral("delete"), QStringLiteral("other")} << QByteArray();
        QTest::newRow("6 read of a CR prints a reference")
            << binaryDict("\x53\x61\x0d\x62") << readAll << QByteArray("<string>a&#13;b</string>");
        QTest::newRow("6 read of a control character is refused")
            << binaryDict("\x53\x61\x07\x62") << readAll << QByteArray();
    }

    void hostileInputs()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, command);
        QFETCH(QByteArray, carried);

        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("d"));
        const QString path = domain + QStringLiteral(".plist");
        QVERIFY(writeBytes(path, file));
        QStringList arguments = command;
        arguments.insert(1, domain);
        const Result r = runTool(arguments);

        if (carried.isEmpty()) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY(!r.err.isEmpty());
            QVERIFY(r.out.isEmpty());
            QCOMPARE(readBytes(path), file);
            QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("d.plist")});
            return;
        }
        QVERIFY2(r.exitCode == 0, r.err.constData());
        if (command.first() == QLatin1String("read")) {
            if (command.size() == 1) {
                QVERIFY2(r.out.contains(carried), r.out.constData());
                QVERIFY2(wellFormed(r.out), r.out.constData());
            } else {
                QCOMPARE(r.out, carried);
            }
            QCOMPARE(readBytes(path), file);
            return;
        }
        const QByteArray after = readBytes(path);
        QVERIFY2(after.contains(carried), after.constData());
        QCOMPARE(after.startsWith("bplist00"), file.startsWith("bplist00"));
        // The rest of the list survived too: the other key and the new one.
        const Result other = runTool({QStringLiteral("read"), domain, QStringLiteral("other")});
        QCOMPARE(other.out, QByteArray("x\n"));
        const Result added = runTool({QStringLiteral("read"), domain, command.at(1)});
        QCOMPARE(added.out, command.at(2).toUtf8() + '\n');
    }

    // DOMAIN.plist as a link: followed to a file in the same folder, and
    // never anywhere else, where it may point outside the volume.
    void linkAsTheDomainFile_data()
    {
        QTest::addColumn<QString>("target"); // FOLDER = the domain's folder, OUTSIDE = a folder beside it
        QTest::addColumn<bool>("followed");
        QTest::addColumn<QString>("landsIn"); // file (in the domain's folder) that gets the key

        QTest::newRow("dangling, to a name in the folder") << QStringLiteral("real.plist") << true
                                                           << QStringLiteral("real.plist");
        QTest::newRow("absolute, into the same folder") << QStringLiteral("FOLDER/real.plist") << true
                                                        << QStringLiteral("real.plist");
        QTest::newRow("via .. back into the same folder") << QStringLiteral("../domain/real.plist") << true
                                                          << QStringLiteral("real.plist");
        QTest::newRow("chain of two in the folder") << QStringLiteral("hop.plist") << true
                                                    << QStringLiteral("real.plist");
        QTest::newRow("absolute, out of the folder") << QStringLiteral("OUTSIDE/victim.plist") << false << QString();
        QTest::newRow("relative, out of the folder") << QStringLiteral("../outside/victim.plist") << false
                                                     << QString();
        QTest::newRow("loop") << QStringLiteral("loop.plist") << false << QString();
    }

    void linkAsTheDomainFile()
    {
        QFETCH(QString, target);
        QFETCH(bool, followed);
        QFETCH(QString, landsIn);

        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("domain")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("outside")));
        const QString folder = dir.filePath(QStringLiteral("domain"));
        const QString outside = dir.filePath(QStringLiteral("outside"));
        const QString link = folder + QStringLiteral("/d.plist");
        target.replace(QStringLiteral("FOLDER"), folder).replace(QStringLiteral("OUTSIDE"), outside);
        QVERIFY(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0);
        if (QTest::currentDataTag() == QLatin1String("chain of two in the folder"))
            QVERIFY(QFile::link(QStringLiteral("real.plist"), folder + QStringLiteral("/hop.plist")));
        if (QTest::currentDataTag() == QLatin1String("loop"))
            QVERIFY(QFile::link(QStringLiteral("d.plist"), folder + QStringLiteral("/loop.plist")));
        // A list the tool would happily rewrite, were it to follow the link.
        const QByteArray victim = xmlDict("");
        QVERIFY(writeBytes(outside + QStringLiteral("/victim.plist"), victim));

        const Result r = runTool({QStringLiteral("write"), folder + QStringLiteral("/d"), QStringLiteral("k"),
                                  QStringLiteral("v")});
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(outside + QStringLiteral("/victim.plist")), victim);
        QCOMPARE(filesIn(outside), QStringList{QStringLiteral("victim.plist")});
        if (!followed) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY(!r.err.isEmpty());
            return;
        }
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(!QFileInfo(folder + QLatin1Char('/') + landsIn).isSymLink());
        const Result back = runTool({QStringLiteral("read"), folder + QStringLiteral("/d"), QStringLiteral("k")});
        QCOMPARE(back.out, QByteArray("v\n"));
        QVERIFY(readBytes(folder + QLatin1Char('/') + landsIn).startsWith("bplist00"));
    }

    // Read, change and rewrite of one domain by twenty writers at once:
    // without a lock most of the keys were lost.
    void twentyParallelWritesAllLand_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::newRow("xml") << false;
        QTest::newRow("binary") << true;
    }

    void twentyParallelWritesAllLand()
    {
        QFETCH(bool, binary);
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("d"));
        QVERIFY(writeBytes(domain + QStringLiteral(".plist"), binary ? binaryDict("\x51y") : xmlDict("")));

        std::vector<std::unique_ptr<QProcess>> writers;
        for (int i = 0; i < 20; ++i) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(toolPath(), {QStringLiteral("write"), domain, QStringLiteral("key%1").arg(i),
                                               QStringLiteral("value %1").arg(i)});
        }
        for (const auto &writer : writers) {
            QVERIFY(writer->waitForFinished(60000));
            QCOMPARE(writer->exitCode(), 0);
        }
        const Result all = runTool({QStringLiteral("read"), domain});
        QCOMPARE(all.exitCode, 0);
        for (int i = 0; i < 20; ++i) {
            const QByteArray entry = QStringLiteral("<key>key%1</key>\n\t<string>value %1</string>").arg(i).toUtf8();
            QVERIFY2(all.out.contains(entry), entry.constData());
        }
        QVERIFY(all.out.contains("<key>other</key>"));
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("d.plist")});
    }

    // A lock that is never released: the writer gives up after a bounded
    // wait, says so, and changes nothing.
    void heldLockFailsAfterABoundedWait()
    {
        QTemporaryDir dir;
        const QString domain = dir.filePath(QStringLiteral("d"));
        const QByteArray before = xmlDict("");
        QVERIFY(writeBytes(domain + QStringLiteral(".plist"), before));
        const int folder = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(folder >= 0);
        QCOMPARE(::flock(folder, LOCK_EX), 0);

        QElapsedTimer timer;
        timer.start();
        const Result r = runTool({QStringLiteral("write"), domain, QStringLiteral("k"), QStringLiteral("v")});
        const qint64 waited = timer.elapsed();
        ::close(folder);

        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("locked"), r.err.constData());
        QVERIFY2(waited >= 9000 && waited < 30000, QByteArray::number(waited).constData());
        QCOMPARE(readBytes(domain + QStringLiteral(".plist")), before);
    }
};

QTEST_GUILESS_MAIN(TestDefaultsFaults)
#include "tst_defaults_faults.moc"
