#include "output/encoders/MemorySink.h"

#include <new>
#include <stdexcept>

namespace flowloom::output {

bool MemorySink::write(const std::uint8_t* data, std::size_t size) noexcept
{
    try {
        m_bytes.insert(m_bytes.end(), data, data + size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

void MemorySink::expectTotalSize(std::size_t size) noexcept
{
    try {
        m_bytes.reserve(size);
    } catch (...) {
        // Only a hint: the writes themselves report a real shortage.
    }
}

} // namespace flowloom::output
