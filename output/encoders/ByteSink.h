#pragma once

#include <cstddef>
#include <cstdint>

namespace flowloom::output {

// Where an encoder puts its bytes. Every write says whether it succeeded, so
// that a full disk surfaces as an encoding error instead of a truncated image.
class ByteSink
{
public:
    virtual ~ByteSink() = default;

    // Appends size bytes; false when they could not all be stored.
    [[nodiscard]] virtual bool write(const std::uint8_t* data, std::size_t size) noexcept = 0;

    // The number of bytes the encoder expects to write in total, when it knows
    // it in advance; lets a memory sink allocate once. A hint only.
    virtual void expectTotalSize(std::size_t /*size*/) noexcept {}
};

} // namespace flowloom::output
