#pragma once

#include "sampling/IPHelper.h"

#include <deque>
#include <mutex>

namespace flowloom::sampling {

// A replayable interface table for tests and demonstrations: each snapshot
// takes the next scripted table; the last one repeats once the script runs out.
class ScriptedSource final : public InterfaceSource
{
public:
    ScriptedSource() = default;
    explicit ScriptedSource(TMibIPAddrArray addresses) : m_addresses(std::move(addresses)) {}

    void push(TMIBIfArray table);
    void setAddresses(TMibIPAddrArray addresses);
    std::size_t snapshotsTaken() const;

    TMIBIfArray interfaceSnapshot() override;
    TMibIPAddrArray addressSnapshot() override;

    // A row with the given identity and counters (6-byte physical address from the index).
    static TMIBIfRow row(std::uint32_t index, std::string name, std::uint32_t in,
                         std::uint32_t out);
    // The same with 64-bit counters, as the kernel delivers them.
    static TMIBIfRow row64(std::uint32_t index, std::string name, std::uint64_t in,
                           std::uint64_t out);
    // Address from dotted octets, first octet in the lowest byte.
    static std::uint32_t address(unsigned a, unsigned b, unsigned c, unsigned d);

private:
    mutable std::mutex m_mutex;
    std::deque<TMIBIfArray> m_script;
    TMIBIfArray m_last;
    TMibIPAddrArray m_addresses;
    std::size_t m_taken = 0;
};

} // namespace flowloom::sampling
