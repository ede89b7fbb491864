#pragma once

#include "output/encoders/ByteSink.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace flowloom::output {

// Writes an image file. The file is closed on every path; the first system
// error (open, write or close) is kept so that the caller can show the system's
// own text. Opening never waits: a named pipe without a reader, or a device
// that is not ready, is an error at once.
class FileSink final : public ByteSink
{
public:
    enum class Mode {
        Replace,   // a file of that name is replaced
        CreateNew, // a file of that name is left alone: the error is "File exists"
    };

    explicit FileSink(const std::filesystem::path& path, Mode mode = Mode::Replace);

    bool isOpen() const { return m_file != nullptr; }
    // The first error seen so far, empty while all went well.
    std::error_code error() const { return m_error; }

    bool write(const std::uint8_t* data, std::size_t size) noexcept override;

    // Flushes and closes; the result covers everything written.
    std::error_code close() noexcept;
    // Closes and removes the file, so that a failed encoding leaves no truncated image behind.
    void discard() noexcept;

private:
    struct FileCloser
    {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };

    std::filesystem::path m_path;
    std::unique_ptr<std::FILE, FileCloser> m_file;
    std::error_code m_error;
    // Only a file this sink created may be removed again.
    bool m_created = false;
};

} // namespace flowloom::output
