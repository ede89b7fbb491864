#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace flowloom::appnet {

// The application or service a cgroup path names, by the desktop's
// conventions for units: "app-<launcher>-<id>-<random>.scope",
// "app-<id>-<random>.scope", "app-<launcher>-<id>@<random>.service",
// "app-flatpak-<id>-<n>.scope" and "<name>.service". The path is read from
// its deepest part up; the first unit that names a program wins. Sessions,
// slices, the init scope and the user's service manager name none.
std::optional<std::string> applicationOfCgroupPath(std::string_view path);

// One unit name ("firefox.service", "app-gnome-org.gnome.Terminal-4711.scope")
// to its program, or none for units that name no program.
std::optional<std::string> applicationOfUnit(std::string_view unit);

// Cgroup v2 ids to application names: the id of a cgroup is the inode number
// of its directory, so the tree is walked once to learn them, and again
// when an unknown id turns up (at most once per `rescan()` permission).
class CgroupNames
{
public:
    // root: where the cgroup v2 tree is mounted.
    explicit CgroupNames(std::string root = "/sys/fs/cgroup");

    // Whether the root is a cgroup v2 tree (on a v1 or hybrid machine the
    // socket's cgroup id names nothing there).
    static bool isCgroup2(const std::string& root);

    // The application of a cgroup id, or none (unknown id, or a cgroup that
    // names no application). May walk the tree once per allowRescan().
    std::optional<std::string> nameOf(std::uint64_t id);
    // Allows one more walk of the tree (the collector allows one per tick).
    void allowRescan() { m_mayRescan = true; }
    std::size_t walks() const { return m_walks; }

private:
    void walk();

    std::string m_root;
    std::unordered_map<std::uint64_t, std::optional<std::string>> m_names;
    bool m_mayRescan = true;
    std::size_t m_walks = 0;
};

} // namespace flowloom::appnet
