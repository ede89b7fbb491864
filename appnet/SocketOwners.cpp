#include "appnet/SocketOwners.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace flowloom::appnet {

std::string userName(std::uint32_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && found->pw_name[0] != '\0')
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

SystemSocketOwners::SystemSocketOwners(std::string proc, std::string cgroupRoot)
    : m_processes(std::move(proc)), m_cgroups(cgroupRoot),
      m_cgroup2(CgroupNames::isCgroup2(cgroupRoot)), m_self(::geteuid())
{}

void SystemSocketOwners::newTick()
{
    m_mayScan = true;
    m_cgroups.allowRescan();
}

Application SystemSocketOwners::ownerOf(const TcpSocketReading& socket)
{
    // An orphan (closed by its process, still finishing) has no inode.
    if (socket.uid == m_self && socket.inode != 0) {
        std::optional<std::string> program = m_processes.programOf(socket.inode);
        if (!program && m_mayScan) {
            m_mayScan = false;
            m_processes.scan();
            program = m_processes.programOf(socket.inode);
        }
        if (program)
            return {IdentifiedBy::Process, boundedName(*program)};
    }
    if (m_cgroup2)
        if (const std::optional<std::string> name = m_cgroups.nameOf(socket.cgroupId))
            return {IdentifiedBy::Cgroup, boundedName(*name)};
    auto known = m_users.find(socket.uid);
    if (known == m_users.end())
        known = m_users.emplace(socket.uid, boundedName(userName(socket.uid))).first;
    return {IdentifiedBy::User, known->second};
}

} // namespace flowloom::appnet
