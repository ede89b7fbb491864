#include "web/http/Port.h"

#include "sampling/IntegerText.h"

namespace flowloom::web {

std::uint16_t portFromText(std::string_view text)
{
    const std::optional<std::int32_t> value = sampling::IntegerText::readInt(text);
    return value ? portOrDefault(*value) : static_cast<std::uint16_t>(kDefaultPort);
}

} // namespace flowloom::web
