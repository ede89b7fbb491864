#include "sampling/IPHelper.h"
#include "sampling/ScriptedSource.h"

#include <gtest/gtest.h>

using namespace flowloom::sampling;

TEST(IPHelper, AddressTextsPadEachOctetToThreeCharacters)
{
    EXPECT_EQ(ipv4AddressText(ScriptedSource::address(127, 0, 0, 1)), "127.  0.  0.  1");
    EXPECT_EQ(ipv4AddressText(ScriptedSource::address(192, 168, 1, 10)), "192.168.  1. 10");
    EXPECT_EQ(ipv4AddressText(ScriptedSource::address(255, 255, 255, 255)).size(), 15u);
    EXPECT_EQ(ipv4AddressText(0), "  0.  0.  0.  0");
}

TEST(IPHelper, PhysicalAddressTexts)
{
    std::array<std::uint8_t, 8> bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0xF0, 0x09};
    EXPECT_EQ(physicalAddressText(bytes, 0), "00-00-00-00-00-00");
    EXPECT_EQ(physicalAddressText(bytes, 6), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(physicalAddressText(bytes, 8), "00-1A-2B-3C-4D-5E-F0-09");
    // Never more than the eight stored bytes.
    EXPECT_EQ(physicalAddressText(bytes, 20), "00-1A-2B-3C-4D-5E-F0-09");
    EXPECT_EQ(physicalAddressText(bytes, 1), "00");
}

TEST(IPHelper, AddressLookupTakesTheFirstOfTheSortedTable)
{
    ScriptedSource source;
    source.setAddresses({
        {ScriptedSource::address(192, 168, 1, 20), 3},
        {ScriptedSource::address(10, 0, 0, 5), 3},
        {ScriptedSource::address(127, 0, 0, 1), 1},
        {ScriptedSource::address(9, 9, 9, 9), 4},
    });
    // Sorted by dotted value: 9.9.9.9 < 10.0.0.5 < 127.0.0.1 < 192.168.1.20.
    EXPECT_EQ(GetIPFromIFIndex(source, 3), " 10.  0.  0.  5");
    EXPECT_EQ(GetIPFromIFIndex(source, 1), "127.  0.  0.  1");
    EXPECT_EQ(GetIPFromIFIndex(source, 2), "!not_found!");
}

#include "sampling/InterfaceList.h"

TEST(InterfaceList, OneItemPerRowAndTheSavedPositionWhenItExists)
{
    const TMIBIfArray rows{ScriptedSource::row(1, "lo", 0, 0), ScriptedSource::row(2, "eth0", 0, 0),
                           ScriptedSource::row(3, "tun0", 0, 0)};
    const TMibIPAddrArray addresses{{ScriptedSource::address(127, 0, 0, 1), 1},
                                    {ScriptedSource::address(10, 1, 2, 3), 2}};
    InterfaceList list = buildInterfaceList(rows, addresses, 1);
    EXPECT_EQ(list.items,
              (std::vector<std::string>{"127.  0.  0.  1", " 10.  1.  2.  3", "!not_found!"}));
    EXPECT_EQ(list.names, (std::vector<std::string>{"lo", "eth0", "tun0"}));
    EXPECT_EQ(list.selected, 1);
    EXPECT_EQ(buildInterfaceList(rows, addresses, 5).selected, -1);
    EXPECT_EQ(buildInterfaceList(rows, addresses, -1).selected, -1);
    EXPECT_EQ(buildInterfaceList(rows, addresses, 2).selected, 2) << "no address, still selectable";
    EXPECT_TRUE(buildInterfaceList({}, addresses, 0).items.empty());
}
