#include "web/documents/StatisticsDocuments.h"

#include "sampling/RateUnit.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <iterator>

namespace flowloom::web {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

void appendLine(std::string& out, std::initializer_list<std::string_view> pieces)
{
    for (const std::string_view piece : pieces) {
        out.append(piece);
    }
    out.append(kLineEnd);
}

// A displayed rate in bytes a second, in the bit unit: "1,250" in kbit/s is
// "10.0 kbit/s". A text that is no whole number (nothing shown yet) stays as it is.
std::string inBits(const std::string& figure, sampling::RateUnit unit)
{
    const std::string digits = StatisticsDocuments::withoutCommas(figure);
    std::uint64_t bytes = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bytes);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return figure;
    return sampling::rateText(static_cast<long double>(bytes), unit);
}

// The three rate lines of one direction.
void appendRates(std::string& out, const StatisticsView& view, const std::string& rate,
                 const std::string& peak, const std::string& average)
{
    const sampling::RateUnit unit = view.readableRateUnit;
    if (!sampling::isBitUnit(unit)) {
        appendLine(out, {"  Bytes Per Sec: ", rate});
        appendLine(out, {"  Peak Per Sec : ", peak});
        appendLine(out, {"  Avg Per Sec  : ", average});
        return;
    }
    appendLine(out, {"  Bits Per Sec : ", inBits(rate, unit)});
    appendLine(out, {"  Peak Per Sec : ", inBits(peak, unit)});
    appendLine(out, {"  Avg Per Sec  : ", inBits(average, unit)});
}

} // namespace

std::string StatisticsDocuments::withoutCommas(std::string_view figure)
{
    std::string out;
    out.reserve(figure.size());
    std::copy_if(figure.begin(), figure.end(), std::back_inserter(out),
                 [](char c) { return c != ','; });
    return out;
}

std::string StatisticsDocuments::commaSeparated(const StatisticsView& view)
{
    std::string out;
    out.reserve(160 + view.Label39.size() + view.Label41.size());
    out.append("InPerSec=").append(withoutCommas(view.Panel14));
    out.append(",PeakInPerSec=").append(withoutCommas(view.Panel15));
    out.append(",AvgInPerSec=").append(withoutCommas(view.Panel16));
    out.append(",OutPerSec=").append(withoutCommas(view.Panel18));
    out.append(",PeakOutPerSec=").append(withoutCommas(view.Panel19));
    out.append(",AvgOutPerSec=").append(withoutCommas(view.Panel20));
    out.append(",TotalInSince ").append(view.Label39).append("=");
    out.append(withoutCommas(view.Panel26));
    out.append(",TotalOutSince ").append(view.Label41).append("=");
    out.append(withoutCommas(view.Panel27));
    return out;
}

std::string StatisticsDocuments::formatted(const StatisticsView& view)
{
    std::string out;
    out.reserve(256 + view.Label39.size() + view.Label41.size());
    appendLine(out, {"Download:"});
    appendRates(out, view, view.Panel14, view.Panel15, view.Panel16);
    appendLine(out, {});
    appendLine(out, {"  Total Since ", view.Label39, ": "});
    // The two trailing spaces here and none on the upload line are part of
    // the published format; readers may compare whole lines.
    appendLine(out, {"     ", view.Panel26, " Bytes.  "});
    appendLine(out, {});
    appendLine(out, {"Upload:"});
    appendRates(out, view, view.Panel18, view.Panel19, view.Panel20);
    appendLine(out, {});
    appendLine(out, {"  Total Since ", view.Label41, ": "});
    appendLine(out, {"     ", view.Panel27, " Bytes."});
    appendLine(out, {});
    return out;
}

std::vector<std::string_view> StatisticsDocuments::lines(std::string_view text)
{
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t end = text.find(kLineEnd);
        if (end == std::string_view::npos) {
            out.push_back(text);
            break;
        }
        out.push_back(text.substr(0, end));
        text.remove_prefix(end + kLineEnd.size());
    }
    return out;
}

} // namespace flowloom::web
