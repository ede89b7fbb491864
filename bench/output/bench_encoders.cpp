// Every web image request renders and encodes anew, so encoding is on the hot
// path. Each encoder runs on a typical 791 × 385 graph snapshot and is set
// beside a floor measured in the same run:
//   JPEG  libjpeg-turbo alone at quality 80, fed RGB rows prepared beforehand;
//   PNG   zlib's level-7 deflate alone over Sub-filtered rows prepared beforehand;
//   GIF   giflib encoding the same pixels already reduced to palette indices.
// Goals: JPEG and PNG within 1.1 × their floors, GIF no slower than giflib,
// BMP under 0.5 ms. Times are ms per image, "bytes" the encoded size. The
// machine may be shared: run with repetitions and random interleaving, e.g.
//   bench_encoders --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
// and compare CPU-time medians.
//
// PNG is bound by level-7 deflate itself (with its Adler-32), which takes
// well over nine tenths of our PNG's time. The rest, by a profile of this
// benchmark: about 2 % for the Sub filter (four pixels per SSSE3 shuffle,
// reading the B, G, R, X rows as they are), under 1 % for the CRC of the
// compressed bytes, and the remainder for the per-image buffers (deflate's
// own state, which the floor allocates too, a 64 KiB IDAT buffer and a
// 32 KiB filter batch) and for copying the chunks into the memory sink.

#include "output/encoders/BmpEncoder.h"
#include "output/encoders/GifEncoder.h"
#include "output/encoders/GifPalette.h"
#include "output/encoders/Grayscale.h"
#include "output/encoders/JpegEncoder.h"
#include "output/encoders/MemorySink.h"
#include "output/encoders/PngEncoder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <zlib.h>

namespace {

using flowloom::output::ImageView;
using flowloom::output::MemorySink;
using flowloom::output::PixelFormat;

constexpr std::size_t kWidth = 791;
constexpr std::size_t kHeight = 385;

struct Colour
{
    std::uint8_t r, g, b;
};

// A graph snapshot as the chart draws it, in the B, G, R, X layout snapshots
// arrive in: black ground, plot frame, dotted grid, two filled series
// (download over upload), axis labels and a title as blocks of glyph-like
// pixels.
class Snapshot
{
public:
    Snapshot() : m_pixels(kWidth * kHeight * 4)
    {
        fill(0, 0, kWidth, kHeight, {0, 0, 0});
        const std::size_t left = 56;
        const std::size_t right = kWidth - 12;
        const std::size_t top = 28;
        const std::size_t bottom = kHeight - 34;

        // Two series of 60 points per page, stepped, filled down to the axis.
        for (std::size_t x = left; x < right; ++x) {
            const double t = static_cast<double>((x - left) / 12);
            const double down = 0.55 + 0.3 * std::sin(t * 0.37) + 0.1 * std::sin(t * 1.9);
            const double up = 0.18 + 0.08 * std::sin(t * 0.61 + 1.0) + 0.04 * std::cos(t * 2.3);
            const auto level = [&](double v) {
                return bottom - static_cast<std::size_t>(v * static_cast<double>(bottom - top));
            };
            fill(x, level(down), 1, bottom - level(down), {0, 200, 0});
            set(x, level(down), {0, 255, 0});
            fill(x, level(up), 1, bottom - level(up), {200, 0, 0});
            set(x, level(up), {255, 64, 64});
        }
        // Dotted grid over the series, as the chart draws it last.
        for (std::size_t y = top; y <= bottom; y += 46)
            for (std::size_t x = left; x < right; x += 3)
                set(x, y, {128, 128, 128});
        for (std::size_t x = left; x < right; x += 73)
            for (std::size_t y = top; y <= bottom; y += 3)
                set(x, y, {128, 128, 128});
        // Frame.
        fill(left - 1, top, 1, bottom - top + 1, {255, 255, 255});
        fill(left - 1, bottom, right - left + 1, 1, {255, 255, 255});
        // Labels: vertical axis values, times under the axis, a title.
        for (std::size_t y = top; y <= bottom; y += 46)
            text(8, y - 4, 6);
        for (std::size_t x = left; x + 48 < right; x += 73)
            text(x - 10, bottom + 8, 8);
        text(kWidth / 2 - 60, 8, 20);
    }

    ImageView view() const
    {
        return {m_pixels.data(), kWidth, kHeight, kWidth * 4, PixelFormat::Bgrx32};
    }

private:
    void set(std::size_t x, std::size_t y, Colour c)
    {
        std::uint8_t* p = &m_pixels[(y * kWidth + x) * 4];
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        p[3] = 0xFF;
    }
    void fill(std::size_t x0, std::size_t y0, std::size_t w, std::size_t h, Colour c)
    {
        for (std::size_t y = y0; y < y0 + h; ++y)
            for (std::size_t x = x0; x < x0 + w; ++x)
                set(x, y, c);
    }
    // Characters of 5 × 8 pixels with one pixel between them, pseudo-random strokes.
    void text(std::size_t x0, std::size_t y0, std::size_t characters)
    {
        for (std::size_t c = 0; c < characters; ++c)
            for (std::size_t y = 0; y < 8; ++y)
                for (std::size_t x = 0; x < 5; ++x) {
                    m_seed = m_seed * 1103515245u + 12345u;
                    if ((m_seed >> 16) % 3 == 0)
                        set(x0 + c * 6 + x, y0 + y, {255, 255, 255});
                }
    }

    std::vector<std::uint8_t> m_pixels;
    std::uint32_t m_seed = 7;
};

const Snapshot& snapshot()
{
    static const Snapshot instance;
    return instance;
}

// Times are shown in ms per image; "bytes" is the size of one encoded image.
void report(benchmark::State& state, std::size_t bytes)
{
    state.counters["bytes"] = static_cast<double>(bytes);
}

// ---- ours ----

void BM_Bmp(benchmark::State& state)
{
    std::size_t bytes = 0;
    for (auto _ : state) {
        MemorySink sink;
        if (flowloom::output::BmpEncoder::encode(snapshot().view(), sink) !=
            flowloom::output::EncodeError::Ok)
            state.SkipWithError("BMP failed");
        bytes = sink.bytes().size();
        benchmark::DoNotOptimize(sink.bytes().data());
    }
    report(state, bytes);
}

void BM_Jpeg(benchmark::State& state)
{
    const int quality = static_cast<int>(state.range(0));
    std::size_t bytes = 0;
    for (auto _ : state) {
        MemorySink sink;
        if (flowloom::output::JpegEncoder::encode(snapshot().view(), quality, sink) !=
            flowloom::output::EncodeError::Ok)
            state.SkipWithError("JPEG failed");
        bytes = sink.bytes().size();
        benchmark::DoNotOptimize(sink.bytes().data());
    }
    report(state, bytes);
}

void BM_Png(benchmark::State& state)
{
    std::size_t bytes = 0;
    for (auto _ : state) {
        MemorySink sink;
        if (flowloom::output::PngEncoder::encode(snapshot().view(), sink) !=
            flowloom::output::EncodeError::Ok)
            state.SkipWithError("PNG failed");
        bytes = sink.bytes().size();
        benchmark::DoNotOptimize(sink.bytes().data());
    }
    report(state, bytes);
}

void BM_Gif(benchmark::State& state)
{
    std::size_t bytes = 0;
    for (auto _ : state) {
        MemorySink sink;
        if (flowloom::output::GifEncoder::encode(snapshot().view(), sink) !=
            flowloom::output::EncodeError::Ok)
            state.SkipWithError("GIF failed");
        bytes = sink.bytes().size();
        benchmark::DoNotOptimize(sink.bytes().data());
    }
    report(state, bytes);
}

void BM_Grayscale(benchmark::State& state)
{
    const ImageView source = snapshot().view();
    std::vector<std::uint8_t> pixels(source.data, source.data + source.stride * source.height);
    // Converting a grey image again changes nothing (3g + 6g + g = 10g), but
    // every pixel still goes through the same work.
    for (auto _ : state) {
        flowloom::output::ConvertBitmapToGrayscale1(
            {pixels.data(), kWidth, kHeight, kWidth * 4, PixelFormat::Bgrx32});
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    report(state, 0);
}

// ---- floors ----

void BM_JpegFloor(benchmark::State& state)
{
    const ImageView view = snapshot().view();
    std::vector<std::uint8_t> rgb(kWidth * kHeight * 3);
    for (std::size_t i = 0; i < kWidth * kHeight; ++i) {
        rgb[3 * i] = view.data[4 * i + 2];
        rgb[3 * i + 1] = view.data[4 * i + 1];
        rgb[3 * i + 2] = view.data[4 * i];
    }
    std::vector<JSAMPROW> rows(kHeight);
    for (std::size_t y = 0; y < kHeight; ++y)
        rows[y] = rgb.data() + y * kWidth * 3;
    std::size_t bytes = 0;
    for (auto _ : state) {
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr errors{};
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &out, &size);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 80, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        jpeg_write_scanlines(&cinfo, rows.data(), kHeight);
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        bytes = size;
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    report(state, bytes);
}

void BM_PngDeflateFloor(benchmark::State& state)
{
    const ImageView view = snapshot().view();
    std::vector<std::uint8_t> filtered;
    filtered.reserve(kHeight * (1 + 3 * kWidth));
    for (std::size_t y = 0; y < kHeight; ++y) {
        const std::uint8_t* row = view.row(y);
        filtered.push_back(1);
        for (std::size_t x = 0; x < kWidth; ++x)
            for (const int channel : {2, 1, 0})
                filtered.push_back(static_cast<std::uint8_t>(
                    row[4 * x + channel] - (x > 0 ? row[4 * (x - 1) + channel] : 0)));
    }
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(filtered.size())));
    std::size_t bytes = 0;
    for (auto _ : state) {
        z_stream z{};
        deflateInit(&z, 7);
        z.next_in = filtered.data();
        z.avail_in = static_cast<uInt>(filtered.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("deflate did not finish");
        bytes = z.total_out;
        deflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    report(state, bytes);
}

int writeToVector(GifFileType* gif, const GifByteType* data, int size)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

void BM_GifFloor(benchmark::State& state)
{
    const ImageView view = snapshot().view();
    using flowloom::output::GifPalette;
    std::vector<GifPixelType> indices(kWidth * kHeight);
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] =
            GifPalette::indexOf(view.data[4 * i + 2], view.data[4 * i + 1], view.data[4 * i]);
    GifColorType colours[256] = {};
    for (int i = 0; i < 256; ++i) {
        const GifPalette::Colour c = GifPalette::colourAt(i);
        colours[i] = {c.red, c.green, c.blue};
    }
    ColorMapObject* map = GifMakeMapObject(256, colours);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        int error = 0;
        GifFileType* gif = EGifOpen(&out, writeToVector, &error);
        if (gif == nullptr || EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map) != GIF_OK ||
            EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr) != GIF_OK ||
            EGifPutLine(gif, indices.data(), static_cast<int>(indices.size())) != GIF_OK)
            state.SkipWithError("giflib failed");
        EGifCloseFile(gif, &error);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    GifFreeMapObject(map);
    report(state, bytes);
}

} // namespace

BENCHMARK(BM_Bmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg)->Arg(80)->Arg(90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDeflateFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Grayscale)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
