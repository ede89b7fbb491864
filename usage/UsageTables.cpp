#include "usage/UsageTables.h"

#include "sampling/DateTimeText.h"

#include <map>

namespace flowloom::usage {

using sampling::DateTimeText;

namespace {
void addTo(UsageRow& row, const DayUsage& day)
{
    row.in = saturatingAdd(row.in, day.in);
    row.out = saturatingAdd(row.out, day.out);
}

std::string monthKeyOf(int year, int month)
{
    return dayKey(DateTime{year, month, 1, 0, 0, 0}).substr(0, 7);
}

int number(const std::string& text, std::size_t from, std::size_t count)
{
    int value = 0;
    for (std::size_t i = from; i < from + count && i < text.size(); ++i)
        value = value * 10 + (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : 0);
    return value;
}
} // namespace

std::vector<UsageRow> lastDays(const std::vector<DayUsage>& days, const DateTime& today, int count)
{
    std::vector<UsageRow> rows;
    std::map<std::string, std::size_t> at;
    for (int back = count - 1; back >= 0; --back) {
        rows.push_back({dayKey(addDays(today, -back)), 0, 0});
        at[rows.back().key] = rows.size() - 1;
    }
    for (const DayUsage& day : days) {
        if (const auto found = at.find(day.day); found != at.end())
            addTo(rows[found->second], day);
    }
    return rows;
}

std::vector<UsageRow> lastMonths(const std::vector<DayUsage>& days, const DateTime& today,
                                 int count)
{
    std::vector<UsageRow> rows;
    std::map<std::string, std::size_t> at;
    for (int back = count - 1; back >= 0; --back) {
        const int index = today.year * 12 + (today.month - 1) - back;
        rows.push_back({monthKeyOf(index / 12, index % 12 + 1), 0, 0});
        at[rows.back().key] = rows.size() - 1;
    }
    for (const DayUsage& day : days) {
        if (const auto found = at.find(monthKey(day.day)); found != at.end())
            addTo(rows[found->second], day);
    }
    return rows;
}

std::vector<UsageRow> months(const std::vector<DayUsage>& days)
{
    std::map<std::string, UsageRow> byMonth;
    for (const DayUsage& day : days) {
        UsageRow& row = byMonth[monthKey(day.day)];
        row.key = monthKey(day.day);
        addTo(row, day);
    }
    std::vector<UsageRow> rows;
    for (auto& [key, row] : byMonth)
        rows.push_back(row);
    return rows;
}

std::string exportCsv(const std::vector<DayUsage>& days)
{
    std::string text = "Period,Date,Download bytes,Upload bytes,Total bytes\r\n";
    auto line = [&](const char* period, const std::string& key, std::uint64_t in,
                    std::uint64_t out) {
        text += std::string(period) + "," + key + "," + std::to_string(in) + "," +
                std::to_string(out) + "," + std::to_string(saturatingAdd(in, out)) + "\r\n";
    };
    for (const DayUsage& day : days)
        line("day", day.day, day.in, day.out);
    for (const UsageRow& month : months(days))
        line("month", month.key, month.in, month.out);
    return text;
}

std::string dayText(const std::string& key)
{
    const auto date = parseDayKey(key);
    if (!date)
        return key;
    return std::string(DateTimeText::dayName(sampling::dayOfWeek(*date))) + " " + key.substr(8, 2) +
           " " + std::string(DateTimeText::monthName(date->month)) + " " + key.substr(0, 4);
}

std::string monthText(const std::string& key)
{
    return std::string(DateTimeText::monthName(number(key, 5, 2))) + " " + key.substr(0, 4);
}

std::string shortDayText(const std::string& key)
{
    return key.substr(8, 2) + " " + std::string(DateTimeText::monthName(number(key, 5, 2)));
}

std::string shortMonthText(const std::string& key)
{
    return std::string(DateTimeText::monthName(number(key, 5, 2))) + " " + key.substr(2, 2);
}

} // namespace flowloom::usage
