#pragma once

#include "web/documents/StatisticsView.h"

#include <string>
#include <string_view>
#include <vector>

namespace flowloom::web {

// The two statistics documents, built anew for every request from one
// published view.
class StatisticsDocuments
{
public:
    static constexpr int kFormattedLineCount = 16;

    // One line without a line break: every figure with its "," removed so
    // that programs can read it as a number; the since-texts as shown.
    static std::string commaSeparated(const StatisticsView& view);

    // Sixteen lines, each ending in CR LF, figures as shown.
    static std::string formatted(const StatisticsView& view);

    // The lines of a text split at CR LF, without them. A text that ends in
    // CR LF has no empty line after its last one.
    static std::vector<std::string_view> lines(std::string_view text);

    // The figure with every "," removed.
    static std::string withoutCommas(std::string_view figure);
};

} // namespace flowloom::web
