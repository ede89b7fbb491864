#include "web/documents/StatisticsDocuments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace flowloom::web;

namespace {

// The figures of the worked example: rates 1,234 / 5,678 / 910 down and
// 11 / 22 / 33 up, totals 123,456,789 and 987,654.
StatisticsView exampleView()
{
    StatisticsView view;
    view.Panel14 = "1,234";
    view.Panel15 = "5,678";
    view.Panel16 = "910";
    view.Panel18 = "11";
    view.Panel19 = "22";
    view.Panel20 = "33";
    view.Panel26 = "123,456,789";
    view.Panel27 = "987,654";
    view.Label39 = "Sun 06 Dec 2026 - 19:44:03";
    view.Label41 = "Mon 07 Dec 2026 - 10:00:00";
    return view;
}

StatisticsView zeroView()
{
    StatisticsView view;
    view.Panel14 = view.Panel15 = view.Panel16 = "0";
    view.Panel18 = view.Panel19 = view.Panel20 = "0";
    view.Panel26 = view.Panel27 = "0";
    view.Label39 = view.Label41 = "Sun 06 Dec 2026 - 19:44:03";
    return view;
}

} // namespace

TEST(StatisticsDocuments, CommaSeparatedMatchesTheWorkedExamples)
{
    EXPECT_EQ(StatisticsDocuments::commaSeparated(exampleView()),
              "InPerSec=1234,PeakInPerSec=5678,AvgInPerSec=910,OutPerSec=11,"
              "PeakOutPerSec=22,AvgOutPerSec=33,"
              "TotalInSince Sun 06 Dec 2026 - 19:44:03=123456789,"
              "TotalOutSince Mon 07 Dec 2026 - 10:00:00=987654");

    EXPECT_EQ(StatisticsDocuments::commaSeparated(zeroView()),
              "InPerSec=0,PeakInPerSec=0,AvgInPerSec=0,OutPerSec=0,PeakOutPerSec=0,"
              "AvgOutPerSec=0,TotalInSince Sun 06 Dec 2026 - 19:44:03=0,"
              "TotalOutSince Sun 06 Dec 2026 - 19:44:03=0");
}

TEST(StatisticsDocuments, CommasLeaveTheFiguresOfTheCommaSeparatedDocumentOnly)
{
    StatisticsView view = zeroView();
    view.Panel26 = "2,147,483,647";
    // A since-text is published as shown, commas included.
    view.Label41 = "Mon, 07 Dec 2026";

    const std::string csv = StatisticsDocuments::commaSeparated(view);
    EXPECT_NE(csv.find("=2147483647,TotalOutSince Mon, 07 Dec 2026=0"), std::string::npos);
    EXPECT_EQ(csv.find('\n'), std::string::npos);
    EXPECT_EQ(csv.find('\r'), std::string::npos);

    const std::string text = StatisticsDocuments::formatted(view);
    EXPECT_NE(text.find("\r\n     2,147,483,647 Bytes.  \r\n"), std::string::npos);
}

TEST(StatisticsDocuments, FormattedHasSixteenCrLfLinesWithItsExactSpacing)
{
    const std::string text = StatisticsDocuments::formatted(exampleView());
    EXPECT_EQ(text, "Download:\r\n"
                    "  Bytes Per Sec: 1,234\r\n"
                    "  Peak Per Sec : 5,678\r\n"
                    "  Avg Per Sec  : 910\r\n"
                    "\r\n"
                    "  Total Since Sun 06 Dec 2026 - 19:44:03: \r\n"
                    "     123,456,789 Bytes.  \r\n"
                    "\r\n"
                    "Upload:\r\n"
                    "  Bytes Per Sec: 11\r\n"
                    "  Peak Per Sec : 22\r\n"
                    "  Avg Per Sec  : 33\r\n"
                    "\r\n"
                    "  Total Since Mon 07 Dec 2026 - 10:00:00: \r\n"
                    "     987,654 Bytes.\r\n"
                    "\r\n");

    // Whatever the figures, the shape stays: 16 lines ending in CR LF, no
    // other line break.
    for (const StatisticsView& view : {exampleView(), zeroView(), StatisticsView{}}) {
        const std::string doc = StatisticsDocuments::formatted(view);
        EXPECT_EQ(std::count(doc.begin(), doc.end(), '\n'), 16);
        EXPECT_EQ(std::count(doc.begin(), doc.end(), '\r'), 16);
        const auto lines = StatisticsDocuments::lines(doc);
        ASSERT_EQ(lines.size(), 16u);
        EXPECT_TRUE(lines[6].ends_with(" Bytes.  "));
        EXPECT_TRUE(lines[14].ends_with(" Bytes."));
        EXPECT_FALSE(lines[14].ends_with(" "));
        EXPECT_TRUE(doc.ends_with(" Bytes.\r\n\r\n"));
    }
}

TEST(StatisticsDocuments, LinesSplitAtCrLfOnly)
{
    EXPECT_TRUE(StatisticsDocuments::lines("").empty());
    const auto lines = StatisticsDocuments::lines("a\r\n\r\nb\nc\r\nlast");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "b\nc");
    EXPECT_EQ(lines[3], "last");
}

TEST(StatisticsDocuments, ABitUnitShowsTheFormattedRatesInBitsAndLeavesTheRestAlone)
{
    using flowloom::sampling::RateUnit;
    StatisticsView view = exampleView();
    const std::string csvInBytes = StatisticsDocuments::commaSeparated(view);
    const std::string formattedInBytes = StatisticsDocuments::formatted(view);
    // KB/s is no bit unit: the documents are the bytes of the Statistics tab.
    view.readableRateUnit = RateUnit::KBytes;
    EXPECT_EQ(StatisticsDocuments::formatted(view), formattedInBytes);

    view.readableRateUnit = RateUnit::Kbits;
    EXPECT_EQ(StatisticsDocuments::commaSeparated(view), csvInBytes) << "programs read bytes";
    const std::string text = StatisticsDocuments::formatted(view);
    const auto lines = StatisticsDocuments::lines(text);
    ASSERT_EQ(lines.size(), 16u);
    // bytes x 8 / 1000: 1,234 -> 9.872, 5,678 -> 45.424, 910 -> 7.28,
    // 11 -> 0.088, 22 -> 0.176, 33 -> 0.264.
    EXPECT_EQ(lines[1], "  Bits Per Sec : 9.9 kbit/s");
    EXPECT_EQ(lines[2], "  Peak Per Sec : 45.4 kbit/s");
    EXPECT_EQ(lines[3], "  Avg Per Sec  : 7.3 kbit/s");
    EXPECT_EQ(lines[9], "  Bits Per Sec : 0.1 kbit/s");
    EXPECT_EQ(lines[10], "  Peak Per Sec : 0.2 kbit/s");
    EXPECT_EQ(lines[11], "  Avg Per Sec  : 0.3 kbit/s");
    // The totals stay in bytes.
    EXPECT_EQ(lines[6], "     123,456,789 Bytes.  ");
    EXPECT_EQ(lines[14], "     987,654 Bytes.");

    view.readableRateUnit = RateUnit::Mbits;
    view.Panel15 = "125,000,000"; // 1,000 Mbit/s
    view.Panel16 = "";            // nothing shown yet stays nothing
    const auto mbits = StatisticsDocuments::formatted(view);
    const auto mbitLines = StatisticsDocuments::lines(mbits);
    ASSERT_EQ(mbitLines.size(), 16u);
    EXPECT_EQ(mbitLines[1], "  Bits Per Sec : 0.01 Mbit/s");
    EXPECT_EQ(mbitLines[2], "  Peak Per Sec : 1,000.00 Mbit/s");
    EXPECT_EQ(mbitLines[3], "  Avg Per Sec  : ");
}
