#pragma once

#include <string_view>

namespace flowloom::sampling {

// Blanks are spaces and tabs, and only those: the settings file, HTTP header
// lines and date-time texts all trim by this rule.
constexpr bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The text without its leading and trailing blanks.
constexpr std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace flowloom::sampling
