#include "platform/VolumeResolver.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using Error = VolumeResolver::Error;
using Method = VolumeResolver::Method;
using FinalLink = VolumeResolver::FinalLink;
Q_DECLARE_METATYPE(VolumeResolver::Method)

namespace {

QString errorName(Error error)
{
    static const char *const names[] = {"None", "Missing", "NotAFolder", "NotAFile",
                                        "TooManyLinks", "OutsideVolume", "Failed"};
    return QString::fromLatin1(names[int(error)]);
}

} // namespace

class TestVolumeResolver : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void paths_data();
    void paths();
    void reading_data();
    void reading();
    void listing_data();
    void listing();
    void rootFilesystemUnchanged_data();
    void rootFilesystemUnchanged();

private:
    void addMethodRows(const std::function<void(const QString &, Method)> &rows);
    VolumeResolver resolver(Method method) const;
    // The result as a path below the volume root, or "!Error".
    QString describe(const VolumeResolver::Result<QString> &result) const;
    void verifyNoLinkBelowRoot(const QString &hostPath, bool lastMayBeLink) const;

    QTemporaryDir m_dir;
    QString m_root;
};

void TestVolumeResolver::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString host = m_dir.path();
    m_root = host + QStringLiteral("/outer/vol");
    auto write = [](const QString &path, const QByteArray &bytes) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    };
    auto link = [this](const QString &target, const QString &volumePath) {
        QVERIFY(QDir().mkpath(QFileInfo(m_root + volumePath).path()));
        const QByteArray name = QFile::encodeName(m_root + volumePath);
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), name.constData()), 0);
    };
    // The host's files that the volume's links reach for.
    write(host + "/decoy.txt", "host decoy");
    QVERIFY(QDir().mkpath(host + "/hostdir"));

    write(m_root + "/decoy.txt", "volume decoy");
    write(m_root + "/System/Library/CoreServices/logo.tif", "logo");
    write(m_root + "/Library/Desktop Pictures/Aqua Blue.jpg", "stock");
    QCOMPARE(::mkfifo(QFile::encodeName(m_root + "/Library/Desktop Pictures/pipe").constData(), 0600), 0);
    link("Aqua Blue.jpg", "/Library/Desktop Pictures/Default.jpg");
    link("/Library/Desktop Pictures/Created.jpg", "/Library/Desktop Pictures/New.jpg");
    link("../../../../decoy.txt", "/Library/Desktop Pictures/Up.jpg");
    link(host + "/decoy.txt", "/Library/Desktop Pictures/Host.jpg");
    link(host + "/hostdir", "/Library/Application Support");
    link("../../../hostdir", "/Library/Up");
    link("/System/Library/CoreServices", "/Library/Core");
    link("/System/Library/CoreServices/logo.tif", "/Library/Logo.tif");
    link("loopB", "/Library/loopA");
    link("loopA", "/Library/loopB");
    link("self", "/Library/self");
    // l0 takes 41 links to reach its folder, l1 takes 40.
    for (int i = 0; i < 40; ++i)
        link(QStringLiteral("l%1").arg(i + 1), QStringLiteral("/Library/chain/l%1").arg(i));
    link("/System/Library/CoreServices", "/Library/chain/l40");
}

void TestVolumeResolver::addMethodRows(const std::function<void(const QString &, Method)> &rows)
{
    rows(QStringLiteral("openat2: "), Method::Kernel);
    rows(QStringLiteral("walk: "), Method::ComponentWalk);
}

VolumeResolver TestVolumeResolver::resolver(Method method) const
{
    if (method == Method::Kernel && !VolumeResolver::kernelResolvesInRoot())
        qWarning("openat2 with RESOLVE_IN_ROOT is missing here: the kernel rows test the walk");
    return VolumeResolver(Volume(m_root), method);
}

QString TestVolumeResolver::describe(const VolumeResolver::Result<QString> &result) const
{
    if (!result)
        return QLatin1Char('!') + errorName(result.error());
    if (*result == m_root)
        return QStringLiteral("/");
    if (!result->startsWith(m_root + QLatin1Char('/')))
        return QStringLiteral("outside the volume: ") + *result;
    return result->mid(m_root.size());
}

void TestVolumeResolver::verifyNoLinkBelowRoot(const QString &hostPath, bool lastMayBeLink) const
{
    QStringList parts = hostPath.mid(m_root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (lastMayBeLink && !parts.isEmpty())
        parts.removeLast();
    QString path = m_root;
    for (const QString &part : std::as_const(parts)) {
        path += QLatin1Char('/') + part;
        QVERIFY2(!QFileInfo(path).isSymLink(), qPrintable(path));
    }
}

void TestVolumeResolver::paths_data()
{
    QTest::addColumn<Method>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("read");  // resolve()
    QTest::addColumn<QString>("write"); // writablePath(), final link followed
    QTest::addColumn<QString>("keep");  // writablePath(), final link kept
    addMethodRows([](const QString &prefix, Method method) {
        auto row = [&](const char *name, const QString &path, const QString &read, const QString &write,
                       const QString &keep) {
            QTest::newRow(qPrintable(prefix + name)) << method << path << read << write << keep;
        };
        const QString aqua = QStringLiteral("/Library/Desktop Pictures/Aqua Blue.jpg");
        const QString logo = QStringLiteral("/System/Library/CoreServices/logo.tif");
        const QString core = QStringLiteral("/System/Library/CoreServices");
        row("plain file", aqua, aqua, aqua, aqua);
        row("relative link inside", "/Library/Desktop Pictures/Default.jpg", aqua, aqua,
            "/Library/Desktop Pictures/Default.jpg");
        row("absolute link names a file on the volume", "/Library/Logo.tif", logo, logo, "/Library/Logo.tif");
        row("absolute folder link, then ..", "/Library/Core/../CoreServices/logo.tif", logo, logo, logo);
        row("file link to the host, absolute", "/Library/Desktop Pictures/Host.jpg", "!Missing", "!Missing",
            "/Library/Desktop Pictures/Host.jpg");
        row("file link climbing out, ../", "/Library/Desktop Pictures/Up.jpg", "/decoy.txt", "/decoy.txt",
            "/Library/Desktop Pictures/Up.jpg");
        row("folder link to the host, absolute", "/Library/Application Support/login.jpg", "!Missing",
            "!Missing", "!Missing");
        row("folder link to the host, deeper", "/Library/Application Support/Lumora/login.jpg", "!Missing",
            "!Missing", "!Missing");
        row("folder link climbing out, ../", "/Library/Up/x.jpg", "!Missing", "!Missing", "!Missing");
        row("path climbing out", "/../../decoy.txt", "/decoy.txt", "/decoy.txt", "/decoy.txt");
        row("dangling link inside", "/Library/Desktop Pictures/New.jpg", "!Missing",
            "/Library/Desktop Pictures/Created.jpg", "/Library/Desktop Pictures/New.jpg");
        row("missing file", "/Library/Desktop Pictures/Nope.jpg", "!Missing", "/Library/Desktop Pictures/Nope.jpg",
            "/Library/Desktop Pictures/Nope.jpg");
        row("missing folder", "/Library/Nope/x.jpg", "!Missing", "!Missing", "!Missing");
        row("file used as a folder", aqua + "/x", "!NotAFolder", "!NotAFolder", "!NotAFolder");
        row("file with a trailing slash", "/decoy.txt/", "!NotAFolder", "!NotAFolder", "!NotAFolder");
        row("loop", "/Library/loopA", "!TooManyLinks", "!TooManyLinks", "/Library/loopA");
        row("loop in the middle", "/Library/loopA/x", "!TooManyLinks", "!TooManyLinks", "!TooManyLinks");
        row("link to itself", "/Library/self", "!TooManyLinks", "!TooManyLinks", "/Library/self");
        row("40 links", "/Library/chain/l1", core, core, "/Library/chain/l1");
        row("41 links", "/Library/chain/l0", "!TooManyLinks", "!TooManyLinks", "/Library/chain/l0");
        row("40 links in the middle", "/Library/chain/l1/logo.tif", logo, logo, logo);
        row("41 links in the middle", "/Library/chain/l0/logo.tif", "!TooManyLinks", "!TooManyLinks",
            "!TooManyLinks");
        row("volume root", "/", "/", "/", "/");
        row("empty path", "", "!Missing", "!Missing", "!Missing");
    });
}

void TestVolumeResolver::paths()
{
    QFETCH(Method, method);
    QFETCH(QString, path);
    QFETCH(QString, read);
    QFETCH(QString, write);
    QFETCH(QString, keep);
    const VolumeResolver volume = resolver(method);

    const auto resolved = volume.resolve(path);
    const auto writable = volume.writablePath(path);
    const auto kept = volume.writablePath(path, FinalLink::Keep);
    QCOMPARE(describe(resolved), read);
    QCOMPARE(describe(writable), write);
    QCOMPARE(describe(kept), keep);
    if (resolved)
        verifyNoLinkBelowRoot(*resolved, false);
    if (writable)
        verifyNoLinkBelowRoot(*writable, false);
    if (kept)
        verifyNoLinkBelowRoot(*kept, true);
}

void TestVolumeResolver::reading_data()
{
    QTest::addColumn<Method>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // the bytes read, or "!Error"
    addMethodRows([](const QString &prefix, Method method) {
        auto row = [&](const char *name, const char *path, const char *expected) {
            QTest::newRow(qPrintable(prefix + name)) << method << QString(path) << QString(expected);
        };
        row("through a relative link", "/Library/Desktop Pictures/Default.jpg", "stock");
        row("link climbing out reads the volume's file", "/Library/Desktop Pictures/Up.jpg", "volume decoy");
        row("link to the host reads nothing", "/Library/Desktop Pictures/Host.jpg", "!Missing");
        row("FIFO is refused, not waited on", "/Library/Desktop Pictures/pipe", "!NotAFile");
        row("folder", "/Library/Core", "!NotAFile");
        row("loop", "/Library/loopA", "!TooManyLinks");
    });
}

void TestVolumeResolver::reading()
{
    QFETCH(Method, method);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    auto file = resolver(method).openForReading(path);
    const QString got = file ? QString::fromUtf8((*file)->readAll()) : QLatin1Char('!') + errorName(file.error());
    QCOMPARE(got, expected);
}

void TestVolumeResolver::listing_data()
{
    QTest::addColumn<Method>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // names joined by ",", or "!Error"
    addMethodRows([](const QString &prefix, Method method) {
        auto row = [&](const char *name, const char *path, const char *expected) {
            QTest::newRow(qPrintable(prefix + name)) << method << QString(path) << QString(expected);
        };
        row("volume root", "/", "Library,System,decoy.txt");
        row("through an absolute link", "/Library/Core", "logo.tif");
        row("through 40 links, trailing slash", "/Library/chain/l1/", "logo.tif");
        row("folder link to the host", "/Library/Application Support", "!Missing");
        row("a file", "/Library/Logo.tif", "!NotAFolder");
    });
}

void TestVolumeResolver::listing()
{
    QFETCH(Method, method);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const auto names = resolver(method).list(path);
    QCOMPARE(names ? names->join(QLatin1Char(',')) : QLatin1Char('!') + errorName(names.error()), expected);
}

void TestVolumeResolver::rootFilesystemUnchanged_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "/Library/Preferences/com.apple.loginwindow";
    QTest::newRow("dots, doubled separators, trailing space") << "/Library//x/../y ";
    QTest::newRow("relative") << "Library/x.jpg";
    QTest::newRow("host link") << "/proc/self/exe";
}

void TestVolumeResolver::rootFilesystemUnchanged()
{
    QFETCH(QString, path);
    for (const Method method : {Method::Kernel, Method::ComponentWalk}) {
        const VolumeResolver volume(Volume(QStringLiteral("/")), method);
        QCOMPARE(*volume.resolve(path), path);
        QCOMPARE(*volume.writablePath(path), path);
        QCOMPARE(*volume.writablePath(path, FinalLink::Keep), path);
        // The host's own links are the volume's here.
        auto file = volume.openForReading(m_dir.path() + "/outer/vol/Library/Desktop Pictures/Default.jpg");
        QVERIFY(file);
        QCOMPARE((*file)->readAll(), QByteArray("stock"));
    }
}

QTEST_GUILESS_MAIN(TestVolumeResolver)
#include "tst_volumeresolver.moc"
