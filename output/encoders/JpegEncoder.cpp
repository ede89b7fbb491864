#include "output/encoders/JpegEncoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

// jpeglib.h relies on <cstdio> for FILE and size_t.
#include <jerror.h>
#include <jpeglib.h>

namespace flowloom::output {

namespace {

// Compressed bytes reach the sink in pieces of this size.
constexpr std::size_t kOutputBufferSize = 64 * 1024;
// Rows handed to libjpeg per call.
constexpr std::size_t kRowsPerCall = 16;

// libjpeg's default error handler ends the process. Ours jumps back to the
// encoder, which reports the failure; nothing is printed.
struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

struct SinkDestination
{
    jpeg_destination_mgr base;
    ByteSink* sink;
    std::uint8_t* buffer;
    std::size_t bufferSize;
    bool writeFailed;
};

// Owns the compressor and the buffers that libjpeg points into; released on
// every path, also after a jump out of libjpeg. Only this object, which lives
// outside the function that calls setjmp, has a destructor that matters.
struct Session
{
    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    SinkDestination destination{};
    bool created = false;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session()
    {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
};

[[noreturn]] void onError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr /*cinfo*/, int /*level*/) {}

void onOutputMessage(j_common_ptr /*cinfo*/) {}

SinkDestination& destinationOf(j_compress_ptr cinfo)
{
    return *reinterpret_cast<SinkDestination*>(cinfo->dest);
}

void initDestination(j_compress_ptr cinfo)
{
    SinkDestination& dest = destinationOf(cinfo);
    dest.base.next_output_byte = dest.buffer;
    dest.base.free_in_buffer = dest.bufferSize;
}

void failWrite(j_compress_ptr cinfo)
{
    destinationOf(cinfo).writeFailed = true;
    cinfo->err->msg_code = JERR_FILE_WRITE;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
}

// Called when the buffer is full: the whole buffer is due, whatever free_in_buffer says.
boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    SinkDestination& dest = destinationOf(cinfo);
    if (!dest.sink->write(dest.buffer, dest.bufferSize))
        failWrite(cinfo);
    dest.base.next_output_byte = dest.buffer;
    dest.base.free_in_buffer = dest.bufferSize;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    SinkDestination& dest = destinationOf(cinfo);
    const std::size_t used = dest.bufferSize - dest.base.free_in_buffer;
    if (used > 0 && !dest.sink->write(dest.buffer, used))
        failWrite(cinfo);
}

void convertToRgb(const std::uint8_t* in, std::size_t width, std::uint8_t* out)
{
    for (std::size_t x = 0; x < width; ++x) {
        out[3 * x] = in[4 * x + 2];
        out[3 * x + 1] = in[4 * x + 1];
        out[3 * x + 2] = in[4 * x];
    }
}

// Everything between setjmp and the end of compression. Its locals have no
// destructors and none is read after a jump, so the jump skips nothing.
// rgbRows: room for kRowsPerCall RGB rows, used only where libjpeg cannot read
// B, G, R, X pixels itself.
bool compress(Session& session, const ImageView& image, int quality, std::uint8_t* rgbRows)
{
    jpeg_compress_struct& cinfo = session.cinfo;
    if (setjmp(session.errors.jump) != 0)
        return false;

    session.created = true; // destroying a half-created compressor is safe
    jpeg_create_compress(&cinfo);
    cinfo.dest = &session.destination.base;

    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    bool convert = false;
    if (image.format == PixelFormat::Rgb24) {
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
    } else {
#ifdef JCS_EXTENSIONS
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_EXT_BGRX;
#else
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        convert = true;
#endif
    }
    // The colour space must be known before the defaults are taken from it.
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    JSAMPROW rows[kRowsPerCall];
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::size_t first = cinfo.next_scanline;
        const std::size_t count = std::min(kRowsPerCall, image.height - first);
        for (std::size_t i = 0; i < count; ++i) {
            if (convert) {
                std::uint8_t* out = rgbRows + i * image.width * 3;
                convertToRgb(image.row(first + i), image.width, out);
                rows[i] = out;
            } else {
                // libjpeg never writes into the rows it is given; its API just lacks const.
                rows[i] = const_cast<JSAMPROW>(image.row(first + i));
            }
        }
        jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

} // namespace

EncodeError JpegEncoder::encode(const ImageView& image, int quality, ByteSink& sink) noexcept
{
    if (!isWellFormed(image))
        return EncodeError::InvalidImage;
    if (image.width > JPEG_MAX_DIMENSION || image.height > JPEG_MAX_DIMENSION)
        return EncodeError::ImageTooLarge;
    if (quality < 1 || quality > 100)
        return EncodeError::InvalidQuality;

    try {
        // libjpeg fills it before anything is read, so it need not be cleared first.
        const auto output = std::make_unique_for_overwrite<std::uint8_t[]>(kOutputBufferSize);
        std::vector<std::uint8_t> rgbRows;
#ifndef JCS_EXTENSIONS
        if (image.format == PixelFormat::Bgrx32)
            rgbRows.resize(kRowsPerCall * image.width * 3);
#endif

        Session session;
        session.cinfo.err = jpeg_std_error(&session.errors.base);
        session.errors.base.error_exit = onError;
        session.errors.base.emit_message = onMessage;
        session.errors.base.output_message = onOutputMessage;
        session.destination.base.init_destination = initDestination;
        session.destination.base.empty_output_buffer = emptyOutputBuffer;
        session.destination.base.term_destination = termDestination;
        session.destination.sink = &sink;
        session.destination.buffer = output.get();
        session.destination.bufferSize = kOutputBufferSize;

        if (compress(session, image, quality, rgbRows.data()))
            return EncodeError::Ok;
        if (session.destination.writeFailed)
            return EncodeError::WriteFailed;
        if (session.errors.base.msg_code == JERR_OUT_OF_MEMORY)
            return EncodeError::OutOfMemory;
        return EncodeError::CodecFailed;
    } catch (const std::bad_alloc&) {
        return EncodeError::OutOfMemory;
    }
}

} // namespace flowloom::output
