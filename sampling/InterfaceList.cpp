#include "sampling/InterfaceList.h"

namespace flowloom::sampling {

InterfaceList buildInterfaceList(const TMIBIfArray& rows, const TMibIPAddrArray& addresses,
                                 int savedPosition)
{
    InterfaceList list;
    list.items.reserve(rows.size());
    list.names.reserve(rows.size());
    for (const TMIBIfRow& row : rows) {
        list.items.push_back(GetIPFromIFIndex(addresses, row.index));
        list.names.push_back(row.name);
    }
    if (savedPosition >= 0 && savedPosition < static_cast<int>(list.items.size()))
        list.selected = savedPosition;
    return list;
}

} // namespace flowloom::sampling
