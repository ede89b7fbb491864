// Socket-diagnostics replies and close announcements are outside input: any
// bytes must parse without reading past the buffer, and every socket found
// must have come from a message that fits in the bytes.
#include "appnet/SockDiag.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <vector>

using namespace flowloom::appnet;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Each socket needs a header and an inet_diag_msg of its own.
    const std::size_t most = size / (NLMSG_HDRLEN + sizeof(inet_diag_msg));
    std::vector<TcpSocketReading> dumped;
    const DiagParse dump = parseTcpDump(data, size, 1, dumped);
    require(dumped.size() <= most);
    if (dump == DiagParse::Bad)
        require(size >= sizeof(nlmsghdr));
    std::vector<TcpSocketReading> closed;
    const DiagParse close = parseTcpDestroyed(data, size, closed);
    require(close != DiagParse::More);
    require(closed.size() <= most);
    for (const TcpSocketReading& s : closed)
        require(s.family == 2 || s.family == 10); // AF_INET, AF_INET6
    TcpSocketReading one;
    (void)parseDiagMessage(data, size, one);
    return 0;
}
