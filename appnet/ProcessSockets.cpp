#include "appnet/ProcessSockets.h"

#include "sampling/UniqueFd.h"

#include <cctype>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace flowloom::appnet {

namespace {

struct DirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Directory = std::unique_ptr<DIR, DirCloser>;

bool allDigits(const char* name)
{
    if (*name == '\0')
        return false;
    for (; *name != '\0'; ++name)
        if (!std::isdigit(static_cast<unsigned char>(*name)))
            return false;
    return true;
}

std::optional<std::string> readLink(const std::string& path)
{
    char buffer[4096];
    const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (length <= 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(length));
}

} // namespace

std::optional<std::uint32_t> socketInodeOfLink(std::string_view link)
{
    constexpr std::string_view head = "socket:[";
    if (link.size() <= head.size() + 1 || link.substr(0, head.size()) != head || link.back() != ']')
        return std::nullopt;
    std::uint64_t inode = 0;
    for (const char c : link.substr(head.size(), link.size() - head.size() - 1)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        inode = inode * 10 + static_cast<std::uint64_t>(c - '0');
        if (inode > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(inode);
}

std::string programNameOfExecutable(std::string_view path)
{
    constexpr std::string_view deleted = " (deleted)";
    if (path.size() > deleted.size() && path.substr(path.size() - deleted.size()) == deleted)
        path.remove_suffix(deleted.size());
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

ProcessSockets::ProcessSockets(std::string proc) : m_proc(std::move(proc)) {}

std::optional<std::string> ProcessSockets::programOf(std::uint32_t inode) const
{
    const auto found = m_programs.find(inode);
    if (found == m_programs.end())
        return std::nullopt;
    return found->second;
}

std::string ProcessSockets::programOfProcess(const std::string& directory) const
{
    if (const std::optional<std::string> exe = readLink(directory + "/exe")) {
        std::string name = programNameOfExecutable(*exe);
        if (!name.empty())
            return name;
    }
    // A kernel thread or an unreadable link: the short name the kernel keeps.
    sampling::UniqueFd comm(::open((directory + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
    char buffer[64];
    const ssize_t length = comm.valid() ? ::read(comm.get(), buffer, sizeof buffer) : -1;
    if (length <= 0)
        return {};
    std::string name(buffer, static_cast<std::size_t>(length));
    while (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

void ProcessSockets::scan()
{
    ++m_scans;
    m_programs.clear();
    const Directory proc(::opendir(m_proc.c_str()));
    if (!proc)
        return;
    while (const dirent* process = ::readdir(proc.get())) {
        if (!allDigits(process->d_name))
            continue;
        const std::string directory = m_proc + "/" + process->d_name;
        const Directory fds(::opendir((directory + "/fd").c_str()));
        if (!fds)
            continue;        // another user's process
        std::string program; // looked up at its first socket
        while (const dirent* fd = ::readdir(fds.get())) {
            if (!allDigits(fd->d_name))
                continue;
            const std::optional<std::string> link = readLink(directory + "/fd/" + fd->d_name);
            if (!link)
                continue;
            const std::optional<std::uint32_t> inode = socketInodeOfLink(*link);
            if (!inode)
                continue;
            if (program.empty())
                program = programOfProcess(directory);
            if (!program.empty())
                m_programs.emplace(*inode, program);
        }
    }
}

} // namespace flowloom::appnet
