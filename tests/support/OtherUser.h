#pragma once

// Work done as another, unprivileged user (65534, nobody), for tests of what
// the program allows other local users. Only root can switch: tests skip
// when not run as root.
#include <cerrno>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace flowloom::test {

inline constexpr uid_t kOtherUser = 65534;
inline constexpr gid_t kOtherGroup = 65534;

inline bool canSwitchUser()
{
    return ::geteuid() == 0;
}

// Runs `work` (returning 0..249) in a child process as kOtherUser with no
// supplementary groups and returns its exit status; 250 when the switch
// failed, -1 when the child did not end normally. The raw system calls change
// the only thread the child has.
template <typename Work> int runAsOtherUser(Work work)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::syscall(SYS_setgroups, 0, nullptr) != 0 ||
            ::syscall(SYS_setresgid, kOtherGroup, kOtherGroup, kOtherGroup) != 0 ||
            ::syscall(SYS_setresuid, kOtherUser, kOtherUser, kOtherUser) != 0)
            ::_exit(250);
        ::_exit(work());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace flowloom::test
