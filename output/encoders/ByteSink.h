#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace flowloom::output {

// Where bytes go: an encoder's image into a file or memory, a reply into a
// client's socket. Every write says whether it succeeded, so that a full disk
// or a peer that went away surfaces as an error instead of a truncated image
// or reply. Writes never throw: encoders run inside C libraries' callbacks.
class ByteSink
{
public:
    virtual ~ByteSink() = default;

    // Appends size bytes; false when they could not all be stored.
    [[nodiscard]] virtual bool write(const std::uint8_t* data, std::size_t size) noexcept = 0;

    // Appends two pieces as one write: a socket sends them in one call, so
    // that a small reply leaves in one segment.
    [[nodiscard]] virtual bool writeBoth(std::string_view first, std::string_view second) noexcept
    {
        return writeText(first) && writeText(second);
    }

    // The number of bytes the encoder expects to write in total, when it knows
    // it in advance; lets a memory sink allocate once. A hint only.
    virtual void expectTotalSize(std::size_t /*size*/) noexcept {}

    [[nodiscard]] bool writeText(std::string_view text) noexcept
    {
        return write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
};

} // namespace flowloom::output
