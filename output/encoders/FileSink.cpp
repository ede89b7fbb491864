#include "output/encoders/FileSink.h"

#ifndef _WIN32
#include "sampling/UniqueFd.h"
#endif

#include <cerrno>
#ifndef _WIN32
#include <fcntl.h>
#endif

namespace flowloom::output {

namespace {

std::error_code lastSystemError(int fallback)
{
    // Not every C library sets errno for every stdio failure.
    const int value = errno != 0 ? errno : fallback;
    return {value, std::generic_category()};
}

std::FILE* openForWriting(const std::filesystem::path& path, FileSink::Mode mode)
{
    const bool createNew = mode == FileSink::Mode::CreateNew;
#ifdef _WIN32
    return ::_wfopen(path.c_str(), createNew ? L"wbx" : L"wb");
#else
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (createNew ? O_EXCL : O_TRUNC);
    sampling::UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK, 0666));
    if (!fd.valid())
        return nullptr;
    // Not waiting was for the opening; the writes themselves may wait.
    const int status = ::fcntl(fd.get(), F_GETFL);
    std::FILE* file = status >= 0 && ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) == 0
                          ? ::fdopen(fd.get(), "wb")
                          : nullptr;
    if (file != nullptr)
        fd.release(); // the stream owns it now
    return file;      // on failure errno still tells why: closing keeps it
#endif
}

} // namespace

FileSink::FileSink(const std::filesystem::path& path, Mode mode) : m_path(path)
{
    errno = 0;
    m_file.reset(openForWriting(path, mode));
    if (!m_file)
        m_error = lastSystemError(EIO);
    m_created = m_file != nullptr;
}

bool FileSink::write(const std::uint8_t* data, std::size_t size) noexcept
{
    if (!m_file || m_error)
        return false;
    if (size == 0)
        return true;
    errno = 0;
    if (std::fwrite(data, 1, size, m_file.get()) != size) {
        m_error = lastSystemError(EIO);
        return false;
    }
    return true;
}

std::error_code FileSink::close() noexcept
{
    if (!m_file)
        return m_error ? m_error : std::make_error_code(std::errc::bad_file_descriptor);
    errno = 0;
    // Buffered bytes reach the disk only here, so a full disk may show up now.
    const int result = std::fclose(m_file.release());
    if (result != 0 && !m_error)
        m_error = lastSystemError(EIO);
    return m_error;
}

void FileSink::discard() noexcept
{
    m_file.reset();
    if (!m_created)
        return;
    m_created = false;
    // Never remove what is not a plain file (a device, a pipe, a link) just
    // because the image could not be written into it.
    std::error_code ignored;
    if (std::filesystem::symlink_status(m_path, ignored).type() ==
        std::filesystem::file_type::regular)
        std::filesystem::remove(m_path, ignored);
}

} // namespace flowloom::output
