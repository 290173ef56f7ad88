// How long loading the current settings, encoding a background and a full
// Save take, on a throwaway sample volume with the direct back end.
//
//   lumora-save-bench [--benchmark_filter=...]
//
// The JPEG encode is measured next to cjpeg -quality 100 on the same pixels
// (written as PPM), run as a process in the same way.

#include "controller/LookComparison.h"
#include "controller/LumoraLogin.h"
#include "controller/MessageView.h"
#include "controller/SettingModel.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/Image.h"
#include "platform/Log.h"
#include "platform/Process.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "save/StagingFile.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/TestVolume.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

// Counts the tools started, and otherwise behaves as the direct back end.
class CountingService final : public AuthorizationService {
public:
    explicit CountingService(std::atomic<long> &launches) : m_launches(launches) {}
    std::int32_t create(std::uint32_t flags) override { return m_direct.create(flags); }
    std::int32_t copyRights(const std::vector<RightsItem> &items, std::uint32_t flags) override
    {
        return m_direct.copyRights(items, flags);
    }
    std::int32_t executeWithPrivileges(const QByteArray &tool, std::uint32_t options,
                                       const std::vector<QByteArray> &arguments, std::int64_t *pid,
                                       const Streams &streams) override
    {
        ++m_launches;
        if (!qEnvironmentVariableIsEmpty("LUMORA_BENCH_LOG")) {
            QStringList line{QString::fromLocal8Bit(tool)};
            for (const QByteArray &argument : arguments)
                line << QString::fromLocal8Bit(argument);
            Log::write(QStringLiteral("run: ") + line.join(QLatin1Char(' ')));
        }
        return m_direct.executeWithPrivileges(tool, options, arguments, pid, streams);
    }
    void free(std::uint32_t flags) override { m_direct.free(flags); }

private:
    DirectAuthorizationService m_direct;
    std::atomic<long> &m_launches;
};

// A photograph-like picture: smooth gradients and waves with a little grain,
// so the encoder sees neither flat colour nor pure noise.
QImage syntheticPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            const double wave = 60 * std::sin(x / 97.0 + y / 143.0) + 40 * std::cos(y / 61.0);
            const int r = std::clamp(int(255.0 * x / width) + grain, 0, 255);
            const int g = std::clamp(int(255.0 * y / height + wave / 2) + grain, 0, 255);
            const int b = std::clamp(int(128 + wave) + grain, 0, 255);
            line[x] = qRgb(r, g, b);
        }
    }
    return image;
}

QSize sizeForMegapixels(int megapixels)
{
    // 4:3 pictures: 2 MP is 1632 x 1224, 8 MP 3264 x 2448, 32 MP 6528 x 4896.
    const int unit = int(std::lround(std::sqrt(megapixels * 1e6 / 12.0)));
    return {unit * 4, unit * 3};
}

bool writePpm(const QImage &image, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("P6\n%1 %2\n255\n").arg(image.width()).arg(image.height()).toLatin1());
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y)
        file.write(reinterpret_cast<const char *>(rgb.constScanLine(y)), qint64(rgb.width()) * 3);
    return file.error() == QFile::NoError;
}

double childrenCpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void setMegapixelCounters(benchmark::State &state, const QSize &size, qint64 bytes)
{
    const double megapixels = double(size.width()) * size.height() / 1e6;
    state.counters["MP/s"] = benchmark::Counter(megapixels * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
    state.counters["MB_out"] = double(bytes) / 1e6;
}

// A controller on a throwaway sample volume with its own preferences and a
// clock that does not sleep; tools run through `service`.
struct BenchController {
    TestVolume volume;
    QTemporaryDir prefs;
    UserDefaults defaults{prefs.filePath(QStringLiteral("prefs.ini"))};
    FakeClock clock;
    FakeAlertPanel alerts;
    Authorization authorization;
    LumoraLogin controller;

    explicit BenchController(std::unique_ptr<AuthorizationService> service)
        : authorization(std::move(service), &alerts)
        , controller({volume.volume(), volume.bundle(), &defaults, &alerts, nullptr, &clock, &authorization})
    {
    }
};

void BM_LoadCurrentSettings(benchmark::State &state)
{
    BenchController bench(std::make_unique<DirectAuthorizationService>());
    LumoraLogin &controller = bench.controller;
    if (!bench.volume.isValid()) {
        state.SkipWithError("the sample volume could not be built");
        return;
    }
    for (auto _ : state) {
        controller.loadCurrentSettings();
        benchmark::DoNotOptimize(controller.logo().isValid());
    }
}
BENCHMARK(BM_LoadCurrentSettings)->Unit(benchmark::kMicrosecond);

void BM_EncodeBackgroundJpeg(benchmark::State &state)
{
    const QSize size = sizeForMegapixels(int(state.range(0)));
    const Image picture = Image::fromPixels(syntheticPicture(size.width(), size.height()));
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray jpeg = StagingFile::jpegData(picture);
        bytes = jpeg.size();
        benchmark::DoNotOptimize(jpeg.constData());
    }
    if (bytes == 0)
        state.SkipWithError("the encoder gave no data");
    setMegapixelCounters(state, size, bytes);
}
BENCHMARK(BM_EncodeBackgroundJpeg)->Arg(2)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

// A JPEG file made into the background's bytes: decoded whole into an
// image and encoded by Qt's writer (second argument 0), or transcoded a row
// at a time on two threads (1). Both give the same bytes.
void BM_JpegFileToBackground(benchmark::State &state)
{
    const QSize size = sizeForMegapixels(int(state.range(0)));
    const bool transcode = state.range(1) != 0;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("picture.jpg"));
    if (!syntheticPicture(size.width(), size.height()).save(file, "JPEG", 92)) {
        state.SkipWithError("the picture could not be made");
        return;
    }
    qint64 bytes = 0;
    for (auto _ : state) {
        const Image picture = Image::referencingFile(file);
        if (!transcode)
            (void)picture.pixels();
        const QByteArray jpeg = StagingFile::jpegData(picture);
        bytes = jpeg.size();
        benchmark::DoNotOptimize(jpeg.constData());
    }
    if (bytes == 0)
        state.SkipWithError("the encoder gave no data");
    setMegapixelCounters(state, size, bytes);
}
BENCHMARK(BM_JpegFileToBackground)
    ->ArgsProduct({{8, 32}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(4);

void BM_CjpegQuality100(benchmark::State &state)
{
    const QByteArray cjpeg = QByteArrayLiteral("/usr/bin/cjpeg");
    if (!QFileInfo(QString::fromLatin1(cjpeg)).isExecutable()) {
        state.SkipWithError("cjpeg is not installed (Debian package libjpeg-turbo-progs)");
        return;
    }
    const QSize size = sizeForMegapixels(int(state.range(0)));
    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("picture.ppm"));
    const QString out = dir.filePath(QStringLiteral("picture.jpg"));
    if (!writePpm(syntheticPicture(size.width(), size.height()), ppm)) {
        state.SkipWithError("the PPM could not be written");
        return;
    }
    const std::vector<QByteArray> arguments{"-quality", "100", "-outfile", QFile::encodeName(out),
                                            QFile::encodeName(ppm)};
    const double childCpuBefore = childrenCpuSeconds();
    for (auto _ : state) {
        if (!Process::run(cjpeg, arguments).succeeded()) {
            state.SkipWithError("cjpeg failed");
            return;
        }
    }
    setMegapixelCounters(state, size, QFileInfo(out).size());
    // The CPU column above is ours; this is cjpeg's own, per run.
    state.counters["cjpeg_cpu_ms"] =
        (childrenCpuSeconds() - childCpuBefore) * 1000.0 / double(std::max<benchmark::IterationCount>(1, state.iterations()));
}
BENCHMARK(BM_CjpegQuality100)->Arg(2)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every setting changed and saved, the way the window does it. The clock
// does not sleep, so the time is the save's own work without the pause
// after the host information.
void BM_FullSave(benchmark::State &state)
{
    std::atomic<long> launches{0};
    BenchController bench(std::make_unique<CountingService>(launches));
    LumoraLogin &controller = bench.controller;
    MemoryMessageView view;
    if (!bench.volume.isValid()) {
        state.SkipWithError("the sample volume could not be built");
        return;
    }
    const Image logo = Image::fromPixels(syntheticPicture(160, 160));
    const Image title = Image::fromPixels(syntheticPicture(320, 64));
    const Image background = Image::fromPixels(syntheticPicture(1024, 768));
    controller.attachFrontEnd(&view, LumoraLogin::LaunchCheck::Skip);

    long saves = 0;
    long failedSaves = 0;
    launches = 0;
    for (auto _ : state) {
        controller.setLogo(logo);
        controller.setTitle(title);
        controller.setBackground(background);
        view.type(QStringLiteral("Saved by the benchmark, round %1").arg(saves));
        controller.setHostInfoTag(int(saves % 7));
        const SaveReport report = controller.save();
        failedSaves += report.succeeded() ? 0 : 1;
        ++saves;
    }
    state.counters["processes_per_save"] = double(launches) / double(saves);
    state.counters["failed_saves"] = double(failedSaves);
    if (failedSaves)
        state.SkipWithError("a save failed (is lumora-defaults built beside the benchmark?)");
}
BENCHMARK(BM_FullSave)->Unit(benchmark::kMillisecond)->UseRealTime();

// The companion's set of a background read from a file: compared with the
// volume, compared again under the lock, saved and read back, as in
// `lumora-loginctl set --background`; two pictures take turns so that every
// round writes. Counts the encodes each round made.
void BM_SetBackgroundFromFile(benchmark::State &state)
{
    BenchController bench(std::make_unique<DirectAuthorizationService>());
    LumoraLogin &controller = bench.controller;
    MemoryMessageView view;
    QTemporaryDir dir;
    const QSize size = sizeForMegapixels(int(state.range(0)));
    QStringList files;
    for (int i = 0; i < 2; ++i) {
        files << dir.filePath(QStringLiteral("picture%1.jpg").arg(i));
        QImage picture = syntheticPicture(size.width(), size.height());
        if (i)
            picture.mirror(true, false);
        if (!bench.volume.isValid() || !picture.save(files.last(), "JPEG", 92)) {
            state.SkipWithError("the sample volume or the pictures could not be made");
            return;
        }
    }
    controller.attachFrontEnd(&view, LumoraLogin::LaunchCheck::Skip);
    const long encodesBefore = Image::encodeCount();
    long rounds = 0;
    for (auto _ : state) {
        const Image picture = Image::referencingFile(files[rounds % 2]);
        controller.setBackground(picture);
        const bool differs = !compareMarkedSettings(controller).first().comparison.holds;
        const SaveReport report =
            controller.save([&controller] { return !compareMarkedSettings(controller).first().comparison.holds; });
        if (!differs || !report.succeeded()
            || !settingModel(Setting::Background).readsBack(settingView(controller.document(), controller.context().volume, Setting::Background),
                          picture, false)) {
            state.SkipWithError("the background was not saved");
            return;
        }
        ++rounds;
    }
    state.counters["encodes_per_save"] = double(Image::encodeCount() - encodesBefore) / double(std::max(1L, rounds));
    setMegapixelCounters(state, size, QFileInfo(files[0]).size());
}
BENCHMARK(BM_SetBackgroundFromFile)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

// What one tool process costs on its own, to set against the full save.
void BM_StartOneTool(benchmark::State &state)
{
    const std::vector<QByteArray> arguments{"--version"};
    for (auto _ : state) {
        if (!Process::run(QByteArrayLiteral("/bin/chmod"), arguments, true).succeeded()) {
            state.SkipWithError("/bin/chmod --version failed");
            return;
        }
    }
}
BENCHMARK(BM_StartOneTool)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    // The save's log lines would drown the table; LUMORA_BENCH_LOG=1 keeps them.
    if (qEnvironmentVariableIsEmpty("LUMORA_BENCH_LOG"))
        Log::setSink([](const QString &) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
