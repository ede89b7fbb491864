#include "app/shell/HelpFile.h"

#include <fstream>
#include <system_error>

namespace flowloom::app {

bool HelpFile::writeFresh(std::string_view content) const
{
    std::error_code error;
    if (std::filesystem::exists(m_path, error))
        std::filesystem::remove(m_path, error);
    if (std::filesystem::exists(m_path, error))
        return false;
    std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
        std::filesystem::remove(m_path, error); // no half-written guide
        return false;
    }
    return true;
}

bool HelpFile::exists() const
{
    std::error_code error;
    return std::filesystem::is_regular_file(m_path, error);
}

void HelpFile::remove() const
{
    std::error_code error;
    if (exists())
        std::filesystem::remove(m_path, error);
}

} // namespace flowloom::app
