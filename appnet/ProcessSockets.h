#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace flowloom::appnet {

// The inode of a "socket:[INODE]" link text, or none for other links.
std::optional<std::uint32_t> socketInodeOfLink(std::string_view link);
// A program's name from its executable's path ("/usr/bin/curl (deleted)" is "curl").
std::string programNameOfExecutable(std::string_view path);

// Socket inodes to the programs holding them, for the processes whose
// descriptors this process may read (its own user's): /proc/PID/fd/* links
// read "socket:[INODE]", /proc/PID/exe names the program.
class ProcessSockets
{
public:
    explicit ProcessSockets(std::string proc = "/proc");

    // Reads every readable process's descriptors again.
    void scan();
    std::optional<std::string> programOf(std::uint32_t inode) const;
    std::size_t scans() const { return m_scans; }

private:
    std::string programOfProcess(const std::string& directory) const;

    std::string m_proc;
    std::unordered_map<std::uint32_t, std::string> m_programs;
    std::size_t m_scans = 0;
};

} // namespace flowloom::appnet
