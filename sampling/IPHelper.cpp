#include "sampling/IPHelper.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace flowloom::sampling {

std::string ipv4AddressText(std::uint32_t addr)
{
    char buffer[20];
    std::snprintf(buffer, sizeof buffer, "%3u.%3u.%3u.%3u", addr & 0xFFu, (addr >> 8) & 0xFFu,
                  (addr >> 16) & 0xFFu, (addr >> 24) & 0xFFu);
    return buffer;
}

std::string physicalAddressText(const std::array<std::uint8_t, 8>& bytes, std::uint32_t length)
{
    if (length == 0)
        return "00-00-00-00-00-00";
    static constexpr char hex[] = "0123456789ABCDEF";
    const std::uint32_t shown = std::min<std::uint32_t>(length, bytes.size());
    std::string text;
    for (std::uint32_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += '-';
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 0xF];
    }
    return text;
}

std::string GetIPFromIFIndex(const TMibIPAddrArray& addresses, std::uint32_t index)
{
    for (const TMibIPAddrRow& row : addresses) {
        // The index is compared as a signed number with its sign removed.
        const auto owner = static_cast<std::uint32_t>(
            std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(row.index))));
        if (owner == index)
            return ipv4AddressText(row.addr);
    }
    return kAddressNotFound;
}

std::string GetIPFromIFIndex(InterfaceSource& source, std::uint32_t index)
{
    return GetIPFromIFIndex(source.addressSnapshot(), index);
}

void sortAddressTable(TMibIPAddrArray& addresses)
{
    auto dotted = [](std::uint32_t addr) {
        return (addr & 0xFFu) << 24 | (addr & 0xFF00u) << 8 | (addr & 0xFF0000u) >> 8 | addr >> 24;
    };
    std::stable_sort(addresses.begin(), addresses.end(),
                     [&](const TMibIPAddrRow& a, const TMibIPAddrRow& b) {
                         return dotted(a.addr) < dotted(b.addr);
                     });
}

} // namespace flowloom::sampling
