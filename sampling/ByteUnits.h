#pragma once

#include <cstdint>

namespace flowloom::sampling {

// The program's byte units are binary: a KB is 2^10 bytes, an MB 2^20 and a
// GB 2^30, on the screen, in the tray, in the history and in the data cap.
inline constexpr std::uint64_t kKiB = 1024;
inline constexpr std::uint64_t kMiB = 1024 * kKiB;
inline constexpr std::uint64_t kGiB = 1024 * kMiB;

} // namespace flowloom::sampling
