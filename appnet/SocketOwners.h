#pragma once

#include "appnet/Application.h"
#include "appnet/CgroupNames.h"
#include "appnet/ProcessSockets.h"
#include "appnet/SockDiag.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace flowloom::appnet {

// Who a live socket belongs to.
class SocketOwners
{
public:
    virtual ~SocketOwners() = default;
    // A new tick: lookups may read the system again (once each).
    virtual void newTick() = 0;
    virtual Application ownerOf(const TcpSocketReading& socket) = 0;
};

// The user's name of a uid, or "uid N" when the system knows none.
std::string userName(std::uint32_t uid);

// The system's answer: the user's own processes by their descriptors, then
// the socket's cgroup (on a cgroup v2 tree), then its user.
class SystemSocketOwners final : public SocketOwners
{
public:
    SystemSocketOwners(std::string proc = "/proc", std::string cgroupRoot = "/sys/fs/cgroup");

    void newTick() override;
    Application ownerOf(const TcpSocketReading& socket) override;
    bool cgroupsKnown() const { return m_cgroup2; }

private:
    ProcessSockets m_processes;
    CgroupNames m_cgroups;
    bool m_cgroup2;
    bool m_mayScan = true;
    std::uint32_t m_self;
    std::unordered_map<std::uint32_t, std::string> m_users;
};

} // namespace flowloom::appnet
