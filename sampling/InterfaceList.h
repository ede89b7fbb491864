#pragma once

#include "sampling/IPHelper.h"

#include <string>
#include <vector>

namespace flowloom::sampling {

// The interface list offered for selection: one item per start-up row, in row
// order, so that item i always means row i.
struct InterfaceList
{
    std::vector<std::string> items; // address text, or "!not_found!"
    // The operating system's name of each item's interface, shown beside the
    // item so that two "!not_found!" items can be told apart.
    std::vector<std::string> names;
    int selected = -1; // -1: nothing selected
};

// Items from the start-up rows and the sorted address table; the saved
// position is selected when it names an item.
InterfaceList buildInterfaceList(const TMIBIfArray& rows, const TMibIPAddrArray& addresses,
                                 int savedPosition);

} // namespace flowloom::sampling
