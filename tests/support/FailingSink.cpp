#include "support/FailingSink.h"

namespace flowloom::test {

bool FailingSink::write(const std::uint8_t* data, std::size_t size) noexcept
{
    ++m_writeCalls;
    if (m_refused || size > m_limit - m_bytes.size()) {
        m_refused = true;
        return false;
    }
    m_bytes.insert(m_bytes.end(), data, data + size);
    return true;
}

} // namespace flowloom::test
