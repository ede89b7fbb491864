#include "sampling/ScriptedSource.h"

namespace flowloom::sampling {

void ScriptedSource::push(TMIBIfArray table)
{
    std::lock_guard lock(m_mutex);
    m_script.push_back(std::move(table));
}

void ScriptedSource::setAddresses(TMibIPAddrArray addresses)
{
    std::lock_guard lock(m_mutex);
    m_addresses = std::move(addresses);
}

std::size_t ScriptedSource::snapshotsTaken() const
{
    std::lock_guard lock(m_mutex);
    return m_taken;
}

TMIBIfArray ScriptedSource::interfaceSnapshot()
{
    std::lock_guard lock(m_mutex);
    ++m_taken;
    if (!m_script.empty()) {
        m_last = std::move(m_script.front());
        m_script.pop_front();
    }
    return m_last;
}

TMibIPAddrArray ScriptedSource::addressSnapshot()
{
    std::lock_guard lock(m_mutex);
    TMibIPAddrArray sorted = m_addresses;
    sortAddressTable(sorted);
    return sorted;
}

TMIBIfRow ScriptedSource::row(std::uint32_t index, std::string name, std::uint32_t in,
                              std::uint32_t out)
{
    TMIBIfRow r;
    r.index = index;
    r.name = std::move(name);
    r.physAddrLen = 6;
    r.physAddr = {0x02,
                  0x00,
                  0x00,
                  0x00,
                  static_cast<std::uint8_t>(index >> 8),
                  static_cast<std::uint8_t>(index),
                  0,
                  0};
    r.inOctets = in;
    r.outOctets = out;
    return r;
}

TMIBIfRow ScriptedSource::row64(std::uint32_t index, std::string name, std::uint64_t in,
                                std::uint64_t out)
{
    TMIBIfRow r = row(index, std::move(name), 0, 0);
    r.inOctets = in;
    r.outOctets = out;
    r.wideCounters = true;
    return r;
}

std::uint32_t ScriptedSource::address(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return (a & 0xFFu) | (b & 0xFFu) << 8 | (c & 0xFFu) << 16 | (d & 0xFFu) << 24;
}

} // namespace flowloom::sampling
