#include "sampling/RateUnit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace flowloom::sampling;

namespace {
struct RateCase
{
    long double bytesPerSecond;
    RateUnit unit;
    const char* expected;
};
} // namespace

TEST(RateUnit, RatesAreShownInTheChosenUnit)
{
    // kbit/s = bytes x 8 / 1000, Mbit/s = bytes x 8 / 1,000,000, KB/s = bytes / 1024.
    const RateCase cases[] = {
        {2048, RateUnit::Bytes, "2,048 B/s"},
        {2048, RateUnit::KBytes, "2.0 KB/s"},
        {2048, RateUnit::Kbits, "16.4 kbit/s"},   // 16.384
        {2048, RateUnit::Mbits, "0.02 Mbit/s"},   // 0.016384
        {125000, RateUnit::Mbits, "1.00 Mbit/s"}, // exactly one megabit
        {125, RateUnit::Kbits, "1.0 kbit/s"},
        {1250000, RateUnit::Kbits, "10,000.0 kbit/s"},
        {0, RateUnit::Mbits, "0.00 Mbit/s"},
        {236068.4L * 1024, RateUnit::KBytes, "236,068.4 KB/s"},
    };
    for (const RateCase& c : cases)
        EXPECT_EQ(rateText(c.bytesPerSecond, c.unit), c.expected)
            << static_cast<double>(c.bytesPerSecond) << " in unit " << static_cast<int>(c.unit);
}

TEST(RateUnit, DivisorsLabelsAndBitUnits)
{
    EXPECT_EQ(bytesPerUnit(RateUnit::Bytes), 1.0);
    EXPECT_EQ(bytesPerUnit(RateUnit::KBytes), 1024.0);
    EXPECT_EQ(bytesPerUnit(RateUnit::Kbits), 125.0);
    EXPECT_EQ(bytesPerUnit(RateUnit::Mbits), 125000.0);
    EXPECT_EQ(axisLabel(RateUnit::Bytes), "Bytes / sec");
    EXPECT_EQ(axisLabel(RateUnit::KBytes), "KBytes / sec");
    EXPECT_EQ(axisLabel(RateUnit::Kbits), "kbit / sec");
    EXPECT_EQ(axisLabel(RateUnit::Mbits), "Mbit / sec");
    EXPECT_FALSE(isBitUnit(RateUnit::Bytes));
    EXPECT_FALSE(isBitUnit(RateUnit::KBytes));
    EXPECT_TRUE(isBitUnit(RateUnit::Kbits));
    EXPECT_TRUE(isBitUnit(RateUnit::Mbits));
}

TEST(RateUnit, TheWidestTextIsTheLargestCounterDifference)
{
    // 4,294,967,295 bytes a second: / 1024 = 4,194,303.999; x 8 / 1000 = 34,359,738.36.
    EXPECT_EQ(widestRateText(RateUnit::Bytes), "4,294,967,295 B/s");
    EXPECT_EQ(widestRateText(RateUnit::KBytes), "4,194,304.0 KB/s");
    EXPECT_EQ(widestRateText(RateUnit::Kbits), "34,359,738.4 kbit/s");
    EXPECT_EQ(widestRateText(RateUnit::Mbits), "34,359.74 Mbit/s");
}
