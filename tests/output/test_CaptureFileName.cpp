#include "output/rules/CaptureFileName.h"

#include <gtest/gtest.h>

using namespace flowloom;
using output::CaptureFileName;
using output::ImageType;

namespace {
const sampling::DateTime kDecember{2026, 12, 6, 19, 44, 31};
}

TEST(CaptureFileName, FolderLabelStampAndExtension)
{
    EXPECT_EQ(CaptureFileName::build("/data/graphs", "Traffic", kDecember, ImageType::Jpeg),
              "/data/graphs/Traffic-2026Dec06-1944.jpg");
    // A folder that already ends with the separator does not get a second one.
    EXPECT_EQ(CaptureFileName::build("/data/graphs/", "Traffic", kDecember, ImageType::Bmp),
              "/data/graphs/Traffic-2026Dec06-1944.bmp");
    EXPECT_EQ(CaptureFileName::build("/data", "", kDecember, ImageType::Png),
              "/data/-2026Dec06-1944.png");
    // English month names whatever the locale, two-digit day, hour and minute.
    EXPECT_EQ(CaptureFileName::build("/d", "x", {2027, 1, 2, 3, 4, 59}, ImageType::Gif),
              "/d/x-2027Jan02-0304.gif");
    EXPECT_EQ(CaptureFileName::build("/d", "x", {2027, 5, 31, 0, 0, 0}, ImageType::Gif),
              "/d/x-2027May31-0000.gif");
}

TEST(CaptureFileName, NumberedNamesGoBeforeTheExtension)
{
    EXPECT_EQ(CaptureFileName::numbered("/d/x-2026Dec06-1944.jpg", 1), "/d/x-2026Dec06-1944.jpg");
    EXPECT_EQ(CaptureFileName::numbered("/d/x-2026Dec06-1944.jpg", 2), "/d/x-2026Dec06-1944-2.jpg");
    EXPECT_EQ(CaptureFileName::numbered("/d/x-2026Dec06-1944.jpg", 13),
              "/d/x-2026Dec06-1944-13.jpg");
    // A dot in a folder's name is no extension.
    EXPECT_EQ(CaptureFileName::numbered("/my.graphs/noext", 2), "/my.graphs/noext-2");
}

TEST(CaptureFileName, CharactersNoFileNameCanHoldBecomeUnderscores)
{
    EXPECT_EQ(CaptureFileName::build("/data", "KBytes / sec", kDecember, ImageType::Jpeg),
              "/data/KBytes _ sec-2026Dec06-1944.jpg");
    EXPECT_EQ(CaptureFileName::safeLabel("a\"b*c/d:e<f>g?h\\i|j"), "a_b_c_d_e_f_g_h_i_j");
    // Everything else passes unchanged, UTF-8 included.
    EXPECT_EQ(CaptureFileName::safeLabel("D\xC3\xA9"
                                         "bit (B) #1 ~ 50% - x.y"),
              "D\xC3\xA9"
              "bit (B) #1 ~ 50% - x.y");
}

// The one rule that typing in the axis label and capture names share.
TEST(CaptureFileName, ExactlyNineCharactersAreForbidden)
{
    int forbidden = 0;
    for (char32_t c = 0; c < 0x80; ++c)
        forbidden += CaptureFileName::isForbidden(c) ? 1 : 0;
    EXPECT_EQ(forbidden, 9);
    static_assert(CaptureFileName::isForbidden(U':') && CaptureFileName::isForbidden(U'|'));
    static_assert(!CaptureFileName::isForbidden(U' ') && !CaptureFileName::isForbidden(U'_'));
    // Code points past ASCII never are, also those whose low byte is one of the nine.
    static_assert(!CaptureFileName::isForbidden(U'\u012F') &&
                  !CaptureFileName::isForbidden(U'\uFF1A'));
}

#ifndef _WIN32
TEST(CaptureFileName, BackslashIsAnOrdinaryCharacterOnThisSystem)
{
    // The folder "caps\" is the one that is tested for existence, so the image
    // goes inside it rather than beside it.
    EXPECT_EQ(CaptureFileName::build("/data/caps\\", "T", kDecember, ImageType::Png),
              "/data/caps\\/T-2026Dec06-1944.png");
    EXPECT_FALSE(CaptureFileName::endsWithSeparator("/data/caps\\"));
    EXPECT_TRUE(CaptureFileName::endsWithSeparator("/"));
    EXPECT_FALSE(CaptureFileName::endsWithSeparator(""));
}
#endif
