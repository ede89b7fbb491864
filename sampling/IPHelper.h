#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace flowloom::sampling {

// One row of the interface table, with the fields the program reads.
struct TMIBIfRow
{
    std::uint32_t index = 0;       // interface index, key of the address lookup
    std::string name;              // identity across snapshots together with the index
    std::uint32_t physAddrLen = 0; // number of address bytes to show (0..8)
    std::array<std::uint8_t, 8> physAddr{};
    std::uint64_t inOctets = 0;  // received octets
    std::uint64_t outOctets = 0; // sent octets
    // The octet counters are 64 bits wide. Otherwise they are 32 bits wide and
    // wrap at 2^32, and a difference is taken modulo 2^32.
    bool wideCounters = false;
    // The interface's counters restarted since the previous snapshot (not a wrap):
    // the new reading is then the traffic since the restart.
    bool inCounterReset = false;
    bool outCounterReset = false;
};

// One IPv4 address: the first octet in the lowest-order byte.
struct TMibIPAddrRow
{
    std::uint32_t addr = 0;
    std::uint32_t index = 0; // owning interface
};

using TMIBIfArray = std::vector<TMIBIfRow>;
using TMibIPAddrArray = std::vector<TMibIPAddrRow>;

// The operating system's interface and IPv4 address tables. A snapshot never
// fails: a failure yields an empty table.
class InterfaceSource
{
public:
    virtual ~InterfaceSource() = default;
    // Interfaces in the operating system's order.
    virtual TMIBIfArray interfaceSnapshot() = 0;
    // Addresses sorted ascending by address.
    virtual TMibIPAddrArray addressSnapshot() = 0;
};

inline constexpr const char* kAddressNotFound = "!not_found!";

// "%3d." per octet, last "." removed: always 15 characters.
std::string ipv4AddressText(std::uint32_t addr);
// Two upper-case hex digits per byte joined by "-"; length 0 gives "00-00-00-00-00-00".
std::string physicalAddressText(const std::array<std::uint8_t, 8>& bytes, std::uint32_t length);
// Address text of the first row of the sorted table owned by the interface, or "!not_found!".
std::string GetIPFromIFIndex(const TMibIPAddrArray& addresses, std::uint32_t index);
std::string GetIPFromIFIndex(InterfaceSource& source, std::uint32_t index);

// Sorting rule of the address table: ascending by dotted address.
void sortAddressTable(TMibIPAddrArray& addresses);

} // namespace flowloom::sampling
