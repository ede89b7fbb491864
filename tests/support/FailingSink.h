#pragma once

#include "output/encoders/ByteSink.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flowloom::test {

// A byte sink that takes the first `limit` bytes and refuses every write that
// would go past them, like a disk that fills up. Once refused, it stays refused.
class FailingSink final : public flowloom::output::ByteSink
{
public:
    explicit FailingSink(std::size_t limit) : m_limit(limit) {}

    bool write(const std::uint8_t* data, std::size_t size) noexcept override;

    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    bool refused() const { return m_refused; }
    std::size_t writeCalls() const { return m_writeCalls; }

private:
    std::size_t m_limit;
    std::vector<std::uint8_t> m_bytes;
    bool m_refused = false;
    std::size_t m_writeCalls = 0;
};

} // namespace flowloom::test
