// The host-information line as the preview resolves it from a volume:
// what 10.3 and 10.4 volumes know, with and without network preferences,
// and placeholders, never invented values, for everything else.

#include "platform/LoginWindow.h"
#include "platform/PropertyList.h"
#include "preview/HostLine.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/TestVolume.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

const QString kFilledIn = QStringLiteral(": filled in when the Mac starts");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray networkPreferences(const QVariant &computerName)
{
    const QVariantMap inner{{QStringLiteral("ComputerName"), computerName}};
    const QVariantMap system{{QStringLiteral("System"), inner}};
    return PropertyList::serialize(QVariant(QVariantMap{{QStringLiteral("System"), system}}),
                                   PropertyList::Format::Binary);
}

} // namespace

class TestHostLine : public QObject {
    Q_OBJECT
private slots:
    void resolvesFromTheVolume_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<QString>("computerName"); // empty: no network preferences
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("expected");
        QTest::newRow("10.4 version") << "10.4.11" << "" << 6 << "Mac OS X 10.4.11";
        QTest::newRow("10.4 build") << "10.4.11" << "" << 5 << "Mac OS X 10.4.11 (8S165)";
        QTest::newRow("10.3 version") << "10.3.9" << "Lab 12" << 6 << "Mac OS X 10.3.9";
        QTest::newRow("10.3 build") << "10.3.9" << "" << 5 << "Mac OS X 10.3.9 (7W98)";
        QTest::newRow("10.4 host name") << "10.4.11" << "Studio Mac" << 1 << "Studio Mac";
        QTest::newRow("10.3 host name") << "10.3.9" << "Lab 12" << 1 << "Lab 12";
        QTest::newRow("10.4 host name, no preferences") << "10.4.11" << "" << 1 << "Computer name" + kFilledIn;
        QTest::newRow("10.3 host name, no preferences") << "10.3.9" << "" << 1 << "Computer name" + kFilledIn;
        QTest::newRow("unknown tag shows as the host name") << "10.4.11" << "Studio Mac" << 9 << "Studio Mac";
        // Known only to the running Mac, whatever the volume holds.
        QTest::newRow("IP address") << "10.4.11" << "Studio Mac" << 2 << "IP address" + kFilledIn;
        QTest::newRow("directory status") << "10.3.9" << "Studio Mac" << 3 << "Directory status" + kFilledIn;
        QTest::newRow("serial number") << "10.4.11" << "Studio Mac" << 4 << "Serial number" + kFilledIn;
    }
    void resolvesFromTheVolume()
    {
        QFETCH(QString, release);
        QFETCH(QString, computerName);
        QFETCH(int, tag);
        QFETCH(QString, expected);
        SampleVolume::Options options;
        options.release = release;
        options.computerName = computerName;
        const TestVolume volume(options);
        QVERIFY(volume.isValid());
        FakeClock clock;
        const HostLine::Resolved line = HostLine::resolve(volume.volume(), tag, &clock);
        QCOMPARE(line.text, expected);
        QCOMPARE(line.fromVolume, !expected.endsWith(kFilledIn));
    }

    void timeFollowsTheClockAndLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("English (US)") << "en_US" << "2:05\u202fPM";
        QTest::newRow("German") << "de_DE" << "14:05";
    }
    void timeFollowsTheClockAndLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        const TestVolume volume;
        FakeClock clock(QDateTime(QDate(2026, 3, 1), QTime(14, 5)));
        const QString text = HostLine::resolve(volume.volume(), 0, &clock, QLocale(locale)).text;
        // Older locale data uses a plain space before "PM".
        QCOMPARE(QString(text).replace(QLatin1Char(' '), QChar(0x202f)), expected);
        QCOMPARE(HostLine::resolve(volume.volume(), 0, nullptr).text, "Time" + kFilledIn);
    }

    void unreadableFilesGivePlaceholders_data()
    {
        QTest::addColumn<QString>("volumePath");
        QTest::addColumn<QByteArray>("content"); // empty: the file is removed
        QTest::addColumn<int>("tag");
        QTest::newRow("no version file") << LoginWindow::kVersionFile << QByteArray() << 6;
        QTest::newRow("version file is not a list") << LoginWindow::kVersionFile << QByteArray("junk\x01\x02") << 5;
        QTest::newRow("version without build")
            << LoginWindow::kVersionFile
            << PropertyList::serialize(QVariant(QVariantMap{{"ProductVersion", "10.4.11"}}), PropertyList::Format::Xml)
            << 5;
        QTest::newRow("computer name is a number") << HostLine::kNetworkPreferences << networkPreferences(42) << 1;
        QTest::newRow("computer name is blank") << HostLine::kNetworkPreferences << networkPreferences("  ") << 1;
        QTest::newRow("preferences nested too deep")
            << HostLine::kNetworkPreferences
            << QByteArray("<plist><dict><key>System</key>") + QByteArray(100, '[').replace('[', "<array>") << 1;
    }
    void unreadableFilesGivePlaceholders()
    {
        QFETCH(QString, volumePath);
        QFETCH(QByteArray, content);
        QFETCH(int, tag);
        SampleVolume::Options options;
        options.computerName = QStringLiteral("Studio Mac");
        const TestVolume volume(options);
        const QString host = volume.hostPath(volumePath);
        QVERIFY(content.isEmpty() ? QFile::remove(host) : writeFile(host, content));
        const HostLine::Resolved line = HostLine::resolve(volume.volume(), tag, nullptr);
        QVERIFY2(!line.fromVolume && line.text.endsWith(kFilledIn), qPrintable(line.text));
    }

    void linksDoNotLeaveTheVolume()
    {
        // A preferences file linked to a file outside the volume, as a link
        // "/etc/..." would on the Mac, means the volume has no name to give.
        const TestVolume volume;
        const QString outside = volume.scratch() + QStringLiteral("/preferences.plist");
        QVERIFY(writeFile(outside, networkPreferences(QStringLiteral("Host machine"))));
        const QString link = volume.hostPath(HostLine::kNetworkPreferences);
        QVERIFY(QDir().mkpath(QFileInfo(link).path()));
        QVERIFY(QFile::link(outside, link));
        QCOMPARE(HostLine::computerName(volume.volume()), std::nullopt);

        // A link within the volume is followed as the Mac would follow it.
        QVERIFY(QFile::remove(link));
        QVERIFY(writeFile(volume.hostPath(QStringLiteral("/private/prefs.plist")),
                          networkPreferences(QStringLiteral("Studio Mac"))));
        QVERIFY(QFile::link(QStringLiteral("/private/prefs.plist"), link));
        QCOMPARE(HostLine::computerName(volume.volume()), QStringLiteral("Studio Mac"));
    }
};

QTEST_GUILESS_MAIN(TestHostLine)
#include "tst_hostline.moc"
