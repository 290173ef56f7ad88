// The preview renderer with the sample look: a warm redraw (pictures
// decoded and scaled, as on every keystroke in the window), a redraw that
// must scale the background again (a new screen size), and a full render
// with a new 8-megapixel background (encode as Save does, decode, scale),
// and the companion's preview file of a large screen next to the JPEG round
// trip of its background.

#include "preview/LoginScreenRenderer.h"
#include "preview/PreviewPng.h"
#include "preview/SavedPictures.h"
#include "tools/SampleVolume.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct SampleLook {
    QTemporaryDir dir;
    PreviewScene scene;
    QImage photo; // 3464 x 2309, about 8 megapixels, with detail for the encoder
    SampleLook()
    {
        const QString art = dir.filePath(QStringLiteral("art"));
        if (!SampleVolume::drawStockArtwork(art))
            return;
        scene.logo = QImage(art + QStringLiteral("/AppleLogo.tif"));
        scene.title = QImage(art + QStringLiteral("/AppleTitle.tif"));
        scene.background = QImage(art + QStringLiteral("/AppleBackground.jpg"));
        scene.message = QStringLiteral("Welcome to the Lumora sample volume.");
        scene.hostLine = QStringLiteral("Lumora Sample Mac");
        photo = QImage(3464, 2309, QImage::Format_RGB32);
        QPainter p(&photo);
        p.drawImage(photo.rect(), scene.background);
        p.setPen(QPen(QColor(255, 255, 255, 60), 3));
        for (int x = 0; x < photo.width(); x += 23)
            p.drawLine(x, 0, photo.width() - x, photo.height());
    }
};

SampleLook &look()
{
    static SampleLook sample;
    return sample;
}

QSize screenOf(const benchmark::State &state)
{
    return {int(state.range(0)), int(state.range(1))};
}

void BM_WarmRedraw(benchmark::State &state)
{
    LoginScreenRenderer renderer;
    PreviewScene scene = look().scene;
    benchmark::DoNotOptimize(renderer.render(scene, screenOf(state)));
    int typed = 0;
    for (auto _ : state) {
        scene.message = look().scene.message + QString::number(++typed); // as when typing
        benchmark::DoNotOptimize(renderer.render(scene, screenOf(state)));
    }
}

void BM_RedrawScalingBackground(benchmark::State &state)
{
    for (auto _ : state) {
        LoginScreenRenderer renderer; // no scaled pictures kept
        benchmark::DoNotOptimize(renderer.render(look().scene, screenOf(state)));
    }
}

void BM_FullRenderNew8MPBackground(benchmark::State &state)
{
    for (auto _ : state) {
        LoginScreenRenderer renderer;
        PreviewScene scene = look().scene;
        scene.background = SavedPictures::asSaved(look().photo, Picture::Background);
        benchmark::DoNotOptimize(renderer.render(scene, screenOf(state)));
    }
}

// The yardstick of the companion's preview: the background encoded as
// Save does and decoded back, which the preview itself must do too.
void BM_JpegRoundTrip8MP(benchmark::State &state)
{
    for (auto _ : state) {
        QByteArray bytes;
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        QImageWriter writer(&out, "jpeg");
        writer.setQuality(100);
        writer.write(look().photo);
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(QImageReader(&in, "jpeg").read());
    }
}

// The drawn screen written as the companion's PNG, and as the default PNG
// writer did it before.
void BM_PreviewPng(benchmark::State &state)
{
    LoginScreenRenderer renderer;
    PreviewScene scene = look().scene;
    scene.background = look().photo;
    const QImage screen = renderer.render(scene, screenOf(state));
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray png = PreviewPng::encode(screen);
        bytes = png.size();
        benchmark::DoNotOptimize(png.constData());
    }
    state.counters["MB_out"] = double(bytes) / 1e6;
}

void BM_DefaultPngWriter(benchmark::State &state)
{
    LoginScreenRenderer renderer;
    PreviewScene scene = look().scene;
    scene.background = look().photo;
    const QImage screen = renderer.render(scene, screenOf(state));
    qint64 bytes = 0;
    for (auto _ : state) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(screen);
        bytes = png.size();
    }
    state.counters["MB_out"] = double(bytes) / 1e6;
}

void screens(benchmark::internal::Benchmark *b)
{
    b->Args({1024, 768})->Args({1920, 1200})->Args({5120, 3200})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_WarmRedraw)->Apply(screens);
BENCHMARK(BM_RedrawScalingBackground)->Apply(screens);
BENCHMARK(BM_FullRenderNew8MPBackground)->Apply(screens)->Iterations(15);
BENCHMARK(BM_JpegRoundTrip8MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PreviewPng)->Apply(screens)->UseRealTime();
BENCHMARK(BM_DefaultPngWriter)->Args({5120, 3200})->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
