#pragma once

#include "sampling/UniqueFd.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace flowloom::app::instance {

// The first program listens on a socket file through which a later start
// asks it to show its window. The file lies in a folder only this user can
// enter, so no other user can reach it, squat its name or answer for it.

// Empty when `folder` is a real directory (not a link) owned by `uid` with
// mode 0700; else what is wrong with it.
std::string privateFolderProblem(const std::filesystem::path& folder, uid_t uid);

struct RuntimeFolder
{
    std::filesystem::path path; // empty when there is none
    std::string problem;        // the folder tried and why, then
};

// `xdgRuntimeDir` ($XDG_RUNTIME_DIR) when it is set, absolute, private and
// short enough for a socket address; else `sharedTemp`/flowloom-<uid>, made
// 0700 when missing and used only when private.
RuntimeFolder privateRuntimeFolder(const char* xdgRuntimeDir, uid_t uid,
                                   const std::filesystem::path& sharedTemp = "/tmp");

// The socket file for a settings file, in `folder`: named after a hash of
// the settings file's full path.
std::filesystem::path socketPathFor(const std::filesystem::path& settingsFile,
                                    const std::filesystem::path& folder);

struct Listener
{
    sampling::UniqueFd socket; // non-blocking; invalid when listening failed
    std::string problem;       // why, then
};

// Listens on `socketFile`, replacing what a crashed first program left
// there. Only the holder of the lock may call this: it alone owns the name.
Listener listenAt(const std::filesystem::path& socketFile);

// Whether the other end of a connected local socket runs as this user.
bool peerIsThisUser(int socket);

// The one byte the first program answers a request with.
constexpr char kShownAnswer = 'S';

// Connects to `socketFile` and waits for the first program's answer, all
// within `limit`; true when a program of this user answered that it showed
// its window. A stopped or busy first program makes this give up in time.
bool askToShow(const std::filesystem::path& socketFile, std::chrono::milliseconds limit);

} // namespace flowloom::app::instance
