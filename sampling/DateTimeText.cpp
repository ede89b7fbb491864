#include "sampling/DateTimeText.h"

#include "sampling/TextBlanks.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace flowloom::sampling {

namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A cursor over the text; every read either consumes what it matched or
// leaves the position where it was.
class Scanner
{
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    bool atEnd() const { return m_pos == m_text.size(); }
    std::size_t position() const { return m_pos; }
    void rewind(std::size_t pos) { m_pos = pos; }

    void skipBlanks()
    {
        while (!atEnd() && isBlank(m_text[m_pos]))
            ++m_pos;
    }

    bool literal(char c)
    {
        if (atEnd() || m_text[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }

    // Between minDigits and maxDigits decimal digits, and no further digit after them.
    std::optional<int> number(std::size_t minDigits, std::size_t maxDigits)
    {
        std::size_t count = 0;
        int value = 0;
        while (m_pos + count < m_text.size() && isDigit(m_text[m_pos + count])) {
            if (count == maxDigits)
                return std::nullopt;
            value = value * 10 + (m_text[m_pos + count] - '0');
            ++count;
        }
        if (count < minDigits)
            return std::nullopt;
        m_pos += count;
        return value;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

bool readDate(Scanner& in, DateTime& dt)
{
    const std::size_t start = in.position();
    const auto day = in.number(1, 2);
    if (day && in.literal('/')) {
        const auto month = in.number(1, 2);
        if (month && in.literal('/')) {
            const auto year = in.number(4, 4);
            if (year) {
                dt.day = *day;
                dt.month = *month;
                dt.year = *year;
                return true;
            }
        }
    }
    in.rewind(start);
    return false;
}

bool readTime(Scanner& in, DateTime& dt)
{
    const std::size_t start = in.position();
    const auto hour = in.number(1, 2);
    if (hour && in.literal(':')) {
        const auto minute = in.number(2, 2);
        if (minute) {
            int second = 0;
            if (in.literal(':')) {
                const auto sec = in.number(2, 2);
                if (!sec) {
                    in.rewind(start);
                    return false;
                }
                second = *sec;
            }
            dt.hour = *hour;
            dt.minute = *minute;
            dt.second = second;
            return true;
        }
    }
    in.rewind(start);
    return false;
}

std::string formatted(const char* format, auto... args)
{
    std::array<char, 64> buffer{};
    const int n = std::snprintf(buffer.data(), buffer.size(), format, args...);
    if (n < 0)
        return {};
    return std::string(buffer.data(), std::min(static_cast<std::size_t>(n), buffer.size() - 1));
}

} // namespace

std::string_view DateTimeText::dayName(int dayOfWeek)
{
    return dayOfWeek >= 0 && dayOfWeek < 7 ? kDayNames[static_cast<std::size_t>(dayOfWeek)]
                                           : std::string_view("");
}

std::string_view DateTimeText::monthName(int month)
{
    return month >= 1 && month <= 12 ? kMonthNames[static_cast<std::size_t>(month - 1)]
                                     : std::string_view("");
}

std::string DateTimeText::toText(const DateTime& dt)
{
    if (dt.hour == 0 && dt.minute == 0 && dt.second == 0)
        return formatted("%02d/%02d/%04d", dt.day, dt.month, dt.year);
    return formatted("%02d/%02d/%04d %02d:%02d:%02d", dt.day, dt.month, dt.year, dt.hour, dt.minute,
                     dt.second);
}

std::optional<DateTime> DateTimeText::fromText(std::string_view text)
{
    Scanner in(text);
    DateTime dt; // the zero date when only a time is given
    in.skipBlanks();
    bool haveDate = readDate(in, dt);
    bool haveTime = false;
    if (haveDate) {
        const std::size_t afterDate = in.position();
        in.skipBlanks();
        if (in.position() != afterDate)
            haveTime = readTime(in, dt);
    } else {
        haveTime = readTime(in, dt);
    }
    in.skipBlanks();
    if ((!haveDate && !haveTime) || !in.atEnd())
        return std::nullopt;
    if (dt.year < 1 || !isValid(dt))
        return std::nullopt;
    return dt;
}

std::string DateTimeText::longDisplay(const DateTime& dt)
{
    return formatted("%s %02d %s %04d - %02d:%02d:%02d", dayName(dayOfWeek(dt)).data(), dt.day,
                     monthName(dt.month).data(), dt.year, dt.hour, dt.minute, dt.second);
}

std::string DateTimeText::dayMonth(const DateTime& dt)
{
    return formatted("%s %02d %s", dayName(dayOfWeek(dt)).data(), dt.day,
                     monthName(dt.month).data());
}

std::string DateTimeText::timeOfDay(const DateTime& dt)
{
    return formatted("%02d:%02d:%02d", dt.hour, dt.minute, dt.second);
}

std::string DateTimeText::pointLabel(const DateTime& dt)
{
    return "  " + timeOfDay(dt) + "  ";
}

std::string DateTimeText::captureStamp(const DateTime& dt)
{
    return formatted("-%04d%s%02d-%02d%02d", dt.year, monthName(dt.month).data(), dt.day, dt.hour,
                     dt.minute);
}

} // namespace flowloom::sampling
