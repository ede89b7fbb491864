#include "appnet/Application.h"

namespace flowloom::appnet {

std::string_view identifiedByText(IdentifiedBy by)
{
    switch (by) {
    case IdentifiedBy::Process:
        return "process";
    case IdentifiedBy::Cgroup:
        return "cgroup";
    case IdentifiedBy::User:
        break;
    }
    return "user";
}

std::string boundedName(std::string_view name)
{
    if (name.size() <= kMaxApplicationName)
        return std::string(name);
    std::size_t end = kMaxApplicationName;
    // Never cut inside a UTF-8 sequence: step back over continuation bytes.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return std::string(name.substr(0, end));
}

ByteCount ApplicationTick::attributedInternet() const
{
    ByteCount sum;
    for (const ApplicationBytes& a : internet) {
        sum.in += a.bytes.in;
        sum.out += a.bytes.out;
    }
    return sum;
}

} // namespace flowloom::appnet
