#pragma once

#include <filesystem>
#include <string_view>

namespace flowloom::app {

// The user guide written beside the program file while the program runs.
class HelpFile
{
public:
    explicit HelpFile(std::filesystem::path path) : m_path(std::move(path)) {}

    // Replaces any old copy with `content`; false when the file cannot be written.
    bool writeFresh(std::string_view content) const;
    bool exists() const;
    void remove() const;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace flowloom::app
