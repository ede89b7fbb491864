#pragma once

#include "output/encoders/ByteSink.h"

#include <vector>

namespace flowloom::output {

// Collects the encoded image in memory (the web image, the clipboard path).
class MemorySink final : public ByteSink
{
public:
    bool write(const std::uint8_t* data, std::size_t size) noexcept override;
    void expectTotalSize(std::size_t size) noexcept override;

    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::vector<std::uint8_t> takeBytes() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace flowloom::output
