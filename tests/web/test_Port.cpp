#include "web/http/Port.h"

#include <gtest/gtest.h>

using namespace flowloom::web;

// One rule for the port the settings hold and the port the dialog reads.
TEST(Port, NumbersThatAreNoPortGiveEighty)
{
    static_assert(portOrDefault(0) == 0 && portOrDefault(65535) == 65535);
    static_assert(portOrDefault(65536) == 80 && portOrDefault(-1) == 80);
    // Not its low 16 bits: 65536 + 8080 would otherwise become 8080.
    static_assert(portOrDefault(65536 + 8080) == 80);

    EXPECT_EQ(portFromText("8080"), 8080);
    EXPECT_EQ(portFromText("$1F90"), 0x1F90);
    EXPECT_EQ(portFromText("+21"), 21);
    EXPECT_EQ(portFromText("$FFFFFFFF"), 80); // -1 by the integer rule
    EXPECT_EQ(portFromText(" 8080"), 80);     // no blanks in a number
    EXPECT_EQ(portFromText("0x"), 80);
}
