// The model of the settings, over every login option: volume -> document ->
// volume, the stored forms the Mac's own tools leave, and the stock look.

#include "controller/LookComparison.h"
#include "controller/SettingModel.h"
#include "platform/PropertyList.h"
#include "tests/save/SaveFixture.h"

#include <QStandardPaths>
#include <QTest>

Q_DECLARE_METATYPE(Setting)
Q_DECLARE_METATYPE(OptionValue)

namespace {

// The domain as the file holds it, not as the document shows it.
QVariantMap storedDomain(const SaveFixture &f)
{
    return PropertyList::readDictionaryFile(f.volume.domainFile()).value_or(QVariantMap());
}

bool storeInDomain(const SaveFixture &f, const QString &key, const QVariant &value)
{
    QVariantMap domain = storedDomain(f);
    domain.insert(key, value);
    return writeBytes(f.volume.domainFile(), PropertyList::serialize(domain, PropertyList::Format::Xml));
}

OptionValue optionOf(const LumoraLogin &c, Setting setting)
{
    return std::get<OptionValue>(c.document().value(setting));
}

} // namespace

class TestSettingModel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { QDir(Staging::applicationSupportPath()).removeRecursively(); }

    void loginOptionRoundTrips_data()
    {
        QTest::addColumn<Setting>("setting");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("name and password") << Setting::NameAndPassword << 1 << "SHOWFULLNAME" << QVariant(true);
        QTest::newRow("list of users") << Setting::NameAndPassword << 0 << "SHOWFULLNAME" << QVariant(false);
        QTest::newRow("power buttons hidden") << Setting::PowerButtons << 0 << "PowerOffDisabled" << QVariant(true);
        QTest::newRow("power buttons shown") << Setting::PowerButtons << 1 << "PowerOffDisabled" << QVariant(false);
        QTest::newRow("input menu") << Setting::InputMenu << 1 << "showInputMenu" << QVariant(true);
        QTest::newRow("password hints") << Setting::PasswordHints << 3 << "RetriesUntilHint" << QVariant(qulonglong(3));
        QTest::newRow("no password hints") << Setting::PasswordHints << 0 << "RetriesUntilHint"
                                           << QVariant(qulonglong(0));
    }
    // Saved as a real boolean (or integer) in the preference's own sense, read back as
    // the same value, held by the volume, and removed by the stock look.
    void loginOptionRoundTrips()
    {
        QFETCH(Setting, setting);
        QFETCH(int, value);
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        SaveFixture f;
        LumoraLogin &c = f.controller;

        c.document().setValue(setting, OptionValue(value));
        const SaveReport report = c.save();
        QVERIFY(report.succeeded());
        QCOMPARE(report.attempted, QStringList{settingModel(setting).name()});
        QCOMPARE(storedDomain(f).value(key), stored);
        QCOMPARE(storedDomain(f).value(key).typeId(), stored.typeId());
        QCOMPARE(optionOf(c, setting), OptionValue(value));
        QVERIFY(!c.document().changed(setting) && !c.dirty());

        c.document().setValue(setting, OptionValue(value));
        const QList<MarkedSetting> marked = compareMarkedSettings(c);
        QCOMPARE(marked.size(), 1);
        QVERIFY(marked.first().comparison.holds);

        c.defaults();
        QVERIFY(c.save().succeeded());
        QVERIFY(!storedDomain(f).contains(key));
        QCOMPARE(optionOf(c, setting), OptionValue());
        // The rest of the domain is the look's, and stays.
        QVERIFY(storedDomain(f).contains(LoginWindow::kHostInfoKey));
    }

    void storedFormsAreReadLeniently_data()
    {
        QTest::addColumn<Setting>("setting");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<OptionValue>("loaded");
        const QString yes = QStringLiteral("YES");
        QTest::newRow("boolean") << Setting::NameAndPassword << QVariant(true) << OptionValue(1);
        QTest::newRow("integer 1") << Setting::NameAndPassword << QVariant(qulonglong(1)) << OptionValue(1);
        QTest::newRow("integer 0") << Setting::InputMenu << QVariant(qulonglong(0)) << OptionValue(0);
        QTest::newRow("string YES") << Setting::NameAndPassword << QVariant(yes) << OptionValue(1);
        QTest::newRow("string no") << Setting::InputMenu << QVariant(QStringLiteral("no")) << OptionValue(0);
        QTest::newRow("string true") << Setting::InputMenu << QVariant(QStringLiteral("true")) << OptionValue(1);
        // PowerOffDisabled YES: the buttons are hidden.
        QTest::newRow("inverted string") << Setting::PowerButtons << QVariant(yes) << OptionValue(0);
        QTest::newRow("integer 2") << Setting::NameAndPassword << QVariant(qulonglong(2)) << OptionValue();
        QTest::newRow("other word") << Setting::NameAndPassword << QVariant(QStringLiteral("maybe")) << OptionValue();
        QTest::newRow("a date") << Setting::InputMenu << QVariant(QDateTime::currentDateTimeUtc()) << OptionValue();
        QTest::newRow("count") << Setting::PasswordHints << QVariant(qulonglong(5)) << OptionValue(5);
        QTest::newRow("count as digits") << Setting::PasswordHints << QVariant(QStringLiteral("2")) << OptionValue(2);
        QTest::newRow("count as a word") << Setting::PasswordHints << QVariant(QStringLiteral("three")) << OptionValue();
        QTest::newRow("negative count") << Setting::PasswordHints << QVariant(qlonglong(-1)) << OptionValue();
    }
    // Loading takes what the Mac's tools may leave; a value that means the
    // same is unchanged, and saving it anyway writes a real boolean.
    void storedFormsAreReadLeniently()
    {
        QFETCH(Setting, setting);
        QFETCH(QVariant, stored);
        QFETCH(OptionValue, loaded);
        SaveFixture f;
        LumoraLogin &c = f.controller;
        const QString key = settingModel(setting).loginOption()->preferenceKey();
        QVERIFY(storeInDomain(f, key, stored));
        c.loadCurrentSettings();
        QCOMPARE(optionOf(c, setting), loaded);

        const std::int32_t wanted = loaded.value_or(1);
        c.document().setValue(setting, OptionValue(wanted));
        QCOMPARE(compareMarkedSettings(c).first().comparison.holds, loaded.has_value());
        QVERIFY(c.save().succeeded());
        const auto kind = settingModel(setting).loginOption()->kind();
        QCOMPARE(storedDomain(f).value(key).typeId(),
                 kind == LoginOptionModel::Kind::Count ? QMetaType::ULongLong : QMetaType::Bool);
        QCOMPARE(optionOf(c, setting), OptionValue(wanted));
    }

    // What the volume holds, loaded into the document, saves back to the
    // same volume: every setting holds, and a Save of all of them leaves
    // the domain's values as they were. Not the background: Save installs
    // a loaded picture as a JPEG of its own, which a JPEG never equals.
    void everySettingHoldsWhatWasLoaded()
    {
        SaveFixture f;
        LumoraLogin &c = f.controller;
        QVERIFY(storeInDomain(f, LoginWindow::kShowFullNameKey, true));
        QVERIFY(storeInDomain(f, LoginWindow::kPowerOffDisabledKey, false));
        QVERIFY(storeInDomain(f, LoginWindow::kShowInputMenuKey, true));
        QVERIFY(storeInDomain(f, LoginWindow::kRetriesUntilHintKey, qulonglong(4)));
        QVERIFY(storeInDomain(f, LoginWindow::kHostInfoKey, QStringLiteral("SystemBuild")));
        c.loadCurrentSettings();
        const QVariantMap before = storedDomain(f);

        for (const SettingModel *model : settingModels()) {
            if (model->setting() != Setting::Background)
                c.document().setValue(model->setting(), SettingValue(c.document().value(model->setting())));
        }
        const QList<MarkedSetting> marked = compareMarkedSettings(c);
        QCOMPARE(marked.size(), int(kSettingCount) - 1);
        for (const MarkedSetting &setting : marked)
            QVERIFY2(setting.comparison.holds, qPrintable(setting.name));
        QVERIFY(c.save().succeeded());
        QCOMPARE(storedDomain(f), before);
    }
};

QTEST_GUILESS_MAIN(TestSettingModel)
#include "tst_settingmodel.moc"
