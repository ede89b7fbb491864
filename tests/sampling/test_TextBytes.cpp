#include "sampling/TextBytes.h"

#include <gtest/gtest.h>

using namespace flowloom::sampling;

TEST(TextBytes, StoredTextsSurviveTheWayThroughAnEditBox)
{
    EXPECT_TRUE(isValidUtf8("KBytes / sec"));
    EXPECT_TRUE(isValidUtf8("D\xC3\xA9"
                            "bit \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("D\xE9"
                             "bit"));              // Latin-1 é
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // a surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));         // cut short

    // UTF-8 shows as it is; other bytes as their Latin-1 characters.
    EXPECT_EQ(shownText("D\xC3\xA9"
                        "bit"),
              "D\xC3\xA9"
              "bit");
    EXPECT_EQ(shownText("D\xE9"
                        "bit\xFF"),
              "D\xC3\xA9"
              "bit\xC3\xBF");

    // Unchanged, the bytes go back as they came; changed, the new text goes.
    for (const char* stored : {"D\xE9"
                               "bit",
                               "Zo\xEB", "plain", "", "\xC3\xA9t\xC3\xA9"})
        EXPECT_EQ(storedText(shownText(stored), stored), stored);
    EXPECT_EQ(storedText("D\xC3\xA9"
                         "bits",
                         "D\xE9"
                         "bit"),
              "D\xC3\xA9"
              "bits");
}
