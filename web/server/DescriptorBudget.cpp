#include "web/server/DescriptorBudget.h"

#include <algorithm>

#include <sys/resource.h>

namespace flowloom::web {

std::size_t DescriptorBudget::raiseSoftLimit(std::size_t wanted)
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return kHttpSide; // unknown: assume the usual limit
    const rlim_t target = std::min<rlim_t>(files.rlim_max, static_cast<rlim_t>(wanted));
    if (files.rlim_cur != RLIM_INFINITY && files.rlim_cur < target) {
        rlimit raised = files;
        raised.rlim_cur = target;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            files = raised;
    }
    if (files.rlim_cur == RLIM_INFINITY)
        return wanted;
    return static_cast<std::size_t>(files.rlim_cur);
}

std::size_t DescriptorBudget::streamsWithin(std::size_t softLimit, std::size_t configured)
{
    const std::size_t above = softLimit > kHttpSide ? softLimit - kHttpSide : 0;
    return std::min(configured, std::max(kFewestStreams, above));
}

} // namespace flowloom::web
