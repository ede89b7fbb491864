#pragma once

#include "sampling/IPHelper.h"

#include <compare>
#include <string>
#include <vector>

namespace flowloom::usage {

// Who an interface is across runs: its name and hardware address. A table
// that lists the interfaces in another order, or an interface that comes
// back under another index, keeps its history; a renamed interface or one
// with another adapter starts a history of its own, so two are never mixed.
struct InterfaceIdentity
{
    std::string name;
    std::string address; // "AA-BB-CC-DD-EE-FF"

    auto operator<=>(const InterfaceIdentity&) const = default;
};

InterfaceIdentity identityOf(const sampling::TMIBIfRow& row);
// One identity per row position of the table.
std::vector<InterfaceIdentity> identitiesOf(const sampling::TMIBIfArray& table);

} // namespace flowloom::usage
