#pragma once

#include "sampling/UniqueFd.h"

#include <filesystem>

namespace flowloom::app::instance {

// The settings file's full path, so that two spellings of one file share one
// lock and one socket.
std::filesystem::path settingsFullPath(const std::filesystem::path& settingsFile);

// The lock file that belongs to a settings file: beside it, hidden.
std::filesystem::path lockPathFor(const std::filesystem::path& settingsFile);

enum class LockOutcome {
    Held,          // this program is the first
    HeldElsewhere, // another program holds the lock
    Unusable,      // a lock file is there but cannot be opened or locked
    NowhereToKeep, // no lock file and none can be made: nothing is saved there either
};

struct InstanceLock
{
    LockOutcome outcome = LockOutcome::NowhereToKeep;
    sampling::UniqueFd file; // holds the flock while valid (outcome Held)
    int error = 0;           // errno behind Unusable and NowhereToKeep
};

// Takes an exclusive flock on `lockFile`, made 0644 when missing, so that a
// lock file left by a start as root stays usable to the user. A lock file
// this user may only read (left by another user, or on a read-only mount) is
// locked through a read-only descriptor: flock needs no write access. A lock
// file that exists but cannot be used at all counts as held by another
// program: two programs that both ignored it would overwrite each other's
// totals.
InstanceLock takeInstanceLock(const std::filesystem::path& lockFile);

} // namespace flowloom::app::instance
