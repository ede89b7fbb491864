#include "usage/InterfaceIdentity.h"

namespace flowloom::usage {

InterfaceIdentity identityOf(const sampling::TMIBIfRow& row)
{
    return {row.name, sampling::physicalAddressText(row.physAddr, row.physAddrLen)};
}

std::vector<InterfaceIdentity> identitiesOf(const sampling::TMIBIfArray& table)
{
    std::vector<InterfaceIdentity> identities;
    identities.reserve(table.size());
    for (const sampling::TMIBIfRow& row : table)
        identities.push_back(identityOf(row));
    return identities;
}

} // namespace flowloom::usage
