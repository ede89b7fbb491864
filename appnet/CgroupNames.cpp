#include "appnet/CgroupNames.h"

#include <filesystem>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <system_error>

namespace flowloom::appnet {

namespace {

bool endsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool startsWith(std::string_view text, std::string_view head)
{
    return text.substr(0, head.size()) == head;
}

// systemd escapes '-' (and other bytes) in unit names as "\xNN".
std::string unescape(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const auto hex = [](char c) -> int {
                if (c >= '0' && c <= '9')
                    return c - '0';
                if (c >= 'a' && c <= 'f')
                    return c - 'a' + 10;
                if (c >= 'A' && c <= 'F')
                    return c - 'A' + 10;
                return -1;
            };
            const int high = hex(name[i + 2]);
            const int low = hex(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

// "<launcher>-<id>" or "<id>": the id, where dashes inside it are escaped.
std::string_view withoutLauncher(std::string_view rest)
{
    const std::size_t dash = rest.find('-');
    return dash == std::string_view::npos ? rest : rest.substr(dash + 1);
}

} // namespace

std::optional<std::string> applicationOfUnit(std::string_view unit)
{
    const bool scope = endsWith(unit, ".scope");
    const bool service = endsWith(unit, ".service");
    if (!scope && !service)
        return std::nullopt; // slices and plain directories
    std::string_view name = unit.substr(0, unit.size() - (scope ? 6 : 8));
    if (startsWith(name, "app-")) {
        std::string_view rest = name.substr(4);
        if (scope) {
            // The last dash leads the random part that makes the scope unique.
            const std::size_t dash = rest.rfind('-');
            if (dash == std::string_view::npos)
                return std::nullopt;
            rest = rest.substr(0, dash);
        } else if (const std::size_t at = rest.find('@'); at != std::string_view::npos) {
            rest = rest.substr(0, at);
        }
        rest = withoutLauncher(rest);
        if (rest.empty())
            return std::nullopt;
        return unescape(rest);
    }
    if (scope)
        return std::nullopt; // session-N.scope, init.scope: no program of their own
    if (startsWith(name, "user@") || startsWith(name, "user-runtime-dir@"))
        return std::nullopt; // the user's service manager
    if (const std::size_t at = name.find('@'); at != std::string_view::npos)
        name = name.substr(0, at); // a template's instance: the template names it
    if (name.empty())
        return std::nullopt;
    return unescape(name);
}

std::optional<std::string> applicationOfCgroupPath(std::string_view path)
{
    while (!path.empty()) {
        const std::size_t slash = path.rfind('/');
        const std::string_view part =
            slash == std::string_view::npos ? path : path.substr(slash + 1);
        if (!part.empty())
            if (std::optional<std::string> name = applicationOfUnit(part))
                return name;
        if (slash == std::string_view::npos)
            break;
        path = path.substr(0, slash);
    }
    return std::nullopt;
}

CgroupNames::CgroupNames(std::string root) : m_root(std::move(root)) {}

bool CgroupNames::isCgroup2(const std::string& root)
{
    struct statfs info
    {
    };
    return ::statfs(root.c_str(), &info) == 0 &&
           static_cast<unsigned long>(info.f_type) == CGROUP2_SUPER_MAGIC;
}

std::optional<std::string> CgroupNames::nameOf(std::uint64_t id)
{
    if (id == 0)
        return std::nullopt;
    auto found = m_names.find(id);
    if (found == m_names.end() && m_mayRescan) {
        walk();
        found = m_names.find(id);
    }
    if (found == m_names.end()) {
        m_names.emplace(id, std::nullopt); // not asked again until the next walk
        return std::nullopt;
    }
    return found->second;
}

void CgroupNames::walk()
{
    m_mayRescan = false;
    ++m_walks;
    m_names.clear();
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path root(m_root);
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    const fs::recursive_directory_iterator end;
    for (; !error && it != end; it.increment(error)) {
        std::error_code kind;
        if (!it->is_directory(kind) || it->is_symlink(kind))
            continue;
        struct stat info
        {
        };
        if (::stat(it->path().c_str(), &info) != 0)
            continue;
        const std::string relative = it->path().lexically_relative(root).generic_string();
        m_names[static_cast<std::uint64_t>(info.st_ino)] = applicationOfCgroupPath(relative);
    }
}

} // namespace flowloom::appnet
