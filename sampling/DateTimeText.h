#pragma once

#include "sampling/DateTime.h"

#include <optional>
#include <string>
#include <string_view>

namespace flowloom::sampling {

// The program's date-time texts. One fixed stored form, "dd/mm/yyyy hh:nn:ss",
// is written and parsed both ways, so a settings file means the same thing on
// every machine whatever its locale. The display forms use English day and
// month abbreviations.
class DateTimeText
{
public:
    // "dd/mm/yyyy hh:nn:ss"; a value at exactly midnight is written as the date
    // alone, "dd/mm/yyyy".
    static std::string toText(const DateTime& dt);

    // Accepts date and time, the date alone (midnight) or the time alone (on
    // the zero date, 30/12/1899). Day and month may have one or two digits,
    // the year has four; the time is "hh:nn:ss", "h:nn:ss", "hh:nn" or "h:nn".
    // White space around the text and between date and time is allowed.
    // Anything else, or a date or time that does not exist, gives nothing.
    static std::optional<DateTime> fromText(std::string_view text);

    // "ddd dd mmm yyyy - hh:nn:ss", e.g. "Sun 06 Dec 2026 - 19:44:03".
    static std::string longDisplay(const DateTime& dt);
    // "ddd dd mmm", e.g. "Sun 06 Dec".
    static std::string dayMonth(const DateTime& dt);
    // "HH:mm:ss", 24-hour with two digits each.
    static std::string timeOfDay(const DateTime& dt);
    // A graph point's label: the time of day with two spaces on each side.
    static std::string pointLabel(const DateTime& dt);
    // A captured image's time stamp "-yyyymmmdd-hhmm", e.g. "-2026Dec06-1944".
    static std::string captureStamp(const DateTime& dt);

    // English abbreviations: dayName(0) is "Sun", monthName(1) is "Jan".
    static std::string_view dayName(int dayOfWeek);
    static std::string_view monthName(int month);
};

} // namespace flowloom::sampling
