#include "output/encoders/PngEncoder.h"

#include "output/encoders/Crc32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include <zlib.h>

#if defined(__GNUC__) && defined(__x86_64__)
#include <tmmintrin.h>
#endif

namespace flowloom::output {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kSubFilter = 1;
// Filtered rows are handed to deflate in batches of about this size.
constexpr std::size_t kFilterBatchBytes = 32 * 1024;
constexpr std::size_t kMaxDimension = 0x7FFFFFFF;

void putU32(std::uint8_t* out, std::uint32_t value)
{
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

// Length, type, data and the CRC over type and data.
bool writeChunk(ByteSink& sink, const char (&type)[5], const std::uint8_t* data, std::size_t size)
{
    std::array<std::uint8_t, 8> head{};
    putU32(head.data(), static_cast<std::uint32_t>(size));
    std::memcpy(head.data() + 4, type, 4);
    std::uint32_t crc = Crc32::update(0, head.data() + 4, 4);
    crc = Crc32::update(crc, data, size);
    std::array<std::uint8_t, 4> tail{};
    putU32(tail.data(), crc);
    return sink.write(head.data(), head.size()) && (size == 0 || sink.write(data, size)) &&
           sink.write(tail.data(), tail.size());
}

// The Sub filter: each byte minus the same channel of the pixel to its left.
// `out` receives the filter type byte and 3 bytes per pixel.
template <std::size_t Red, std::size_t Green, std::size_t Blue, std::size_t PixelBytes>
void filterRow(const std::uint8_t* in, std::size_t width, std::uint8_t* out)
{
    *out++ = kSubFilter;
    std::uint8_t leftR = 0;
    std::uint8_t leftG = 0;
    std::uint8_t leftB = 0;
    for (std::size_t x = 0; x < width; ++x, in += PixelBytes, out += 3) {
        // Read the pixel before writing: the output may alias the input as far
        // as the compiler knows, and would otherwise force reloads.
        const std::uint8_t r = in[Red];
        const std::uint8_t g = in[Green];
        const std::uint8_t b = in[Blue];
        out[0] = static_cast<std::uint8_t>(r - leftR);
        out[1] = static_cast<std::uint8_t>(g - leftG);
        out[2] = static_cast<std::uint8_t>(b - leftB);
        leftR = r;
        leftG = g;
        leftB = b;
    }
}

using FilterRow = void (*)(const std::uint8_t* in, std::size_t width, std::uint8_t* out);

#if defined(__GNUC__) && defined(__x86_64__)
#define FLOWLOOM_PNG_SSSE3 1
// Snapshot rows (B, G, R, X) four pixels at a time: one subtraction of the
// row shifted by a pixel, one shuffle to R, G, B order. Filtering is the
// largest cost of a PNG beside deflate itself, and this makes it small.
// Each store writes 4 bytes past its 12: the next store, the scalar tail or
// the next row overwrites them, and the batch buffer has slack after its last row.
__attribute__((target("ssse3"))) void filterRowBgrxSsse3(const std::uint8_t* in, std::size_t width,
                                                         std::uint8_t* out)
{
    *out++ = kSubFilter;
    const __m128i toRgb = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    __m128i previous = _mm_setzero_si128();
    std::size_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i current = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
        // The pixels to the left: the last one of the previous group, then this group's first
        // three.
        const __m128i left = _mm_alignr_epi8(current, previous, 12);
        const __m128i rgb = _mm_shuffle_epi8(_mm_sub_epi8(current, left), toRgb);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), rgb);
        previous = current;
    }
    for (; x < width; ++x) {
        const std::uint8_t* p = in + 4 * x;
        const bool first = x == 0;
        out[3 * x] = static_cast<std::uint8_t>(p[2] - (first ? 0 : p[-2]));
        out[3 * x + 1] = static_cast<std::uint8_t>(p[1] - (first ? 0 : p[-3]));
        out[3 * x + 2] = static_cast<std::uint8_t>(p[0] - (first ? 0 : p[-4]));
    }
}
#endif

FilterRow filterFor(PixelFormat format)
{
    if (format == PixelFormat::Rgb24)
        return filterRow<0, 1, 2, 3>;
#ifdef FLOWLOOM_PNG_SSSE3
    if (__builtin_cpu_supports("ssse3"))
        return filterRowBgrxSsse3;
#endif
    return filterRow<2, 1, 0, 4>;
}

// Bytes a filter may write past the end of its row (see filterRowBgrxSsse3).
constexpr std::size_t kFilterSlack = 16;

struct Deflater
{
    z_stream stream{};
    bool initialised = false;

    Deflater() = default;
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater()
    {
        if (initialised)
            deflateEnd(&stream);
    }
};

// Feeds deflate and writes an IDAT chunk whenever its output buffer is full.
class IdatWriter
{
public:
    explicit IdatWriter(ByteSink& sink)
        : m_sink(sink), m_buffer(std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize))
    {}

    EncodeError start()
    {
        const int result = deflateInit(&m_deflater.stream, PngEncoder::kCompressionLevel);
        if (result != Z_OK)
            return result == Z_MEM_ERROR ? EncodeError::OutOfMemory : EncodeError::CodecFailed;
        m_deflater.initialised = true;
        resetOutput();
        return EncodeError::Ok;
    }

    EncodeError add(const std::uint8_t* data, std::size_t size, bool last)
    {
        z_stream& z = m_deflater.stream;
        z.next_in = const_cast<Bytef*>(data); // zlib reads its input only; its API lacks const
        z.avail_in = static_cast<uInt>(size);
        const int flush = last ? Z_FINISH : Z_NO_FLUSH;
        for (;;) {
            const int result = deflate(&z, flush);
            if (result == Z_STREAM_ERROR)
                return EncodeError::CodecFailed;
            if (z.avail_out == 0) {
                if (!writeOutput())
                    return EncodeError::WriteFailed;
                continue;
            }
            if (last ? result == Z_STREAM_END : z.avail_in == 0)
                break;
            if (result == Z_BUF_ERROR)
                return EncodeError::CodecFailed; // no progress although there was room
        }
        if (last && z.avail_out < kBufferSize && !writeOutput())
            return EncodeError::WriteFailed;
        return EncodeError::Ok;
    }

private:
    void resetOutput()
    {
        m_deflater.stream.next_out = m_buffer.get();
        m_deflater.stream.avail_out = static_cast<uInt>(kBufferSize);
    }

    bool writeOutput()
    {
        const std::size_t used = kBufferSize - m_deflater.stream.avail_out;
        const bool written = writeChunk(m_sink, "IDAT", m_buffer.get(), used);
        resetOutput();
        return written;
    }

    ByteSink& m_sink;
    // Deflate fills it before anything is read, so it need not be cleared first.
    static constexpr std::size_t kBufferSize = PngEncoder::kMaxIdatBytes;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    Deflater m_deflater;
};

} // namespace

EncodeError PngEncoder::encode(const ImageView& image, ByteSink& sink) noexcept
{
    if (!isWellFormed(image))
        return EncodeError::InvalidImage;
    if (image.width > kMaxDimension || image.height > kMaxDimension)
        return EncodeError::ImageTooLarge;
    // Filter byte plus three bytes per pixel.
    const auto pixelBytes = checkedMultiply(image.width, 3);
    const auto rowBytes = pixelBytes ? checkedAdd(*pixelBytes, 1) : std::nullopt;
    if (!rowBytes || !checkedMultiply(*rowBytes, image.height) ||
        *rowBytes > std::numeric_limits<uInt>::max())
        return EncodeError::ImageTooLarge;

    try {
        const std::size_t rowsPerBatch =
            std::min(image.height, std::max<std::size_t>(1, kFilterBatchBytes / *rowBytes));
        // Every byte handed to deflate is written by the filter first.
        const auto filtered =
            std::make_unique_for_overwrite<std::uint8_t[]>(rowsPerBatch * *rowBytes + kFilterSlack);
        const FilterRow filter = filterFor(image.format);
        IdatWriter idat(sink);
        if (const EncodeError started = idat.start(); started != EncodeError::Ok)
            return started;

        if (!sink.write(kSignature.data(), kSignature.size()))
            return EncodeError::WriteFailed;
        std::array<std::uint8_t, 13> header{};
        putU32(&header[0], static_cast<std::uint32_t>(image.width));
        putU32(&header[4], static_cast<std::uint32_t>(image.height));
        header[8] = 8;  // bits per channel
        header[9] = 2;  // colour type: truecolour
        header[10] = 0; // deflate
        header[11] = 0; // adaptive filtering, one filter byte per row
        header[12] = 0; // not interlaced
        if (!writeChunk(sink, "IHDR", header.data(), header.size()))
            return EncodeError::WriteFailed;

        for (std::size_t y = 0; y < image.height; y += rowsPerBatch) {
            const std::size_t count = std::min(rowsPerBatch, image.height - y);
            for (std::size_t i = 0; i < count; ++i)
                filter(image.row(y + i), image.width, filtered.get() + i * *rowBytes);
            const bool last = y + count == image.height;
            if (const EncodeError added = idat.add(filtered.get(), count * *rowBytes, last);
                added != EncodeError::Ok)
                return added;
        }

        if (!writeChunk(sink, "IEND", nullptr, 0))
            return EncodeError::WriteFailed;
    } catch (const std::bad_alloc&) {
        return EncodeError::OutOfMemory;
    }
    return EncodeError::Ok;
}

} // namespace flowloom::output
