#include "app/ini/ValueCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

using flowloom::app::Colour;
using flowloom::app::ValueCodec;
using flowloom::sampling::DateTime;

TEST(ValueCodec, IntegersAreDecimalOrHexadecimalAndOtherwiseUnreadable)
{
    EXPECT_EQ(ValueCodec::readInt("0x1F"), 31);
    EXPECT_EQ(ValueCodec::readInt("0X1f"), 31);
    EXPECT_EQ(ValueCodec::readInt("$1F"), 31);
    EXPECT_EQ(ValueCodec::readInt("-$10"), -16);
    EXPECT_EQ(ValueCodec::readInt("400"), 400);
    EXPECT_EQ(ValueCodec::readInt("-50"), -50);
    EXPECT_EQ(ValueCodec::readInt("+7"), 7);
    EXPECT_EQ(ValueCodec::readInt("007"), 7);
    EXPECT_EQ(ValueCodec::readInt("2147483647"), INT32_MAX);
    EXPECT_EQ(ValueCodec::readInt("-2147483648"), INT32_MIN);
    // Hexadecimal may fill all 32 bits, as colours and old files do.
    EXPECT_EQ(ValueCodec::readInt("$FFFFFFFF"), -1);
    EXPECT_EQ(ValueCodec::readInt("$80000000"), INT32_MIN);
    for (const char* bad :
         {"", "abc", "0x", "0X", "$", "-", "+", "1.5", "12abc", "1 2", " 5", "2147483648",
          "-2147483649", "$100000000", "0x1G", "$-1", "99999999999999999999999"}) {
        EXPECT_EQ(ValueCodec::readInt(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(ValueCodec::writeInt(-50), "-50");
    EXPECT_EQ(ValueCodec::writeInt(0), "0");
}

TEST(ValueCodec, TotalsAreUnsigned64BitClampedAndOld32BitValuesRecovered)
{
    EXPECT_EQ(ValueCodec::readTotal("2147483648"), std::uint64_t{1} << 31);
    EXPECT_EQ(ValueCodec::readTotal("123456"), 123456u);
    EXPECT_EQ(ValueCodec::readTotal("$100000000"), std::uint64_t{1} << 32);
    EXPECT_EQ(ValueCodec::readTotal("9223372036854775808"), std::uint64_t{1} << 63);
    EXPECT_EQ(ValueCodec::readTotal("18446744073709551615"), UINT64_MAX);
    // Past the 64-bit range: the largest total.
    EXPECT_EQ(ValueCodec::readTotal("18446744073709551616"), UINT64_MAX);
    EXPECT_EQ(ValueCodec::readTotal("99999999999999999999999999"), UINT64_MAX);
    EXPECT_EQ(ValueCodec::readTotal("$1FFFFFFFFFFFFFFFF"), UINT64_MAX);
    // Negative: an older file's 32-bit total that wrapped past 2 GiB.
    EXPECT_EQ(ValueCodec::readTotal("-5"), 4'294'967'291u);
    EXPECT_EQ(ValueCodec::readTotal("-1794967296"), 2'500'000'000u);
    EXPECT_EQ(ValueCodec::readTotal("-0"), 0u);
    for (const char* bad : {"abc", "1e30", "", "12.5", "-"})
        EXPECT_EQ(ValueCodec::readTotal(bad), std::nullopt) << bad;
    EXPECT_EQ(ValueCodec::writeTotal(UINT64_MAX), "18446744073709551615");
}

TEST(ValueCodec, BooleansAndFontStylesAreReadAsIntegers)
{
    EXPECT_EQ(ValueCodec::readBool("1"), true);
    EXPECT_EQ(ValueCodec::readBool("0"), false);
    EXPECT_EQ(ValueCodec::readBool("2"), true);
    EXPECT_EQ(ValueCodec::readBool("-1"), true);
    EXPECT_EQ(ValueCodec::readBool("0x0"), false);
    EXPECT_EQ(ValueCodec::readBool("yes"), std::nullopt);
    EXPECT_EQ(ValueCodec::readBool("true"), std::nullopt);
    EXPECT_EQ(ValueCodec::writeBool(true), "1");
    EXPECT_EQ(ValueCodec::writeBool(false), "0");

    EXPECT_EQ(ValueCodec::readFontStyle("5"), 5); // bold + underline
    EXPECT_EQ(ValueCodec::readFontStyle("31"), 15);
    EXPECT_EQ(ValueCodec::readFontStyle("16"), 0);
    EXPECT_EQ(ValueCodec::readFontStyle("$A"), 10);
    EXPECT_EQ(ValueCodec::readFontStyle("bold"), std::nullopt);
    EXPECT_EQ(ValueCodec::writeFontStyle(9), "9"); // bold + strike-out
}

TEST(ValueCodec, ColoursByNameInAnyCaseOrByNumber)
{
    // The written names and their 0x00BBGGRR values.
    const std::vector<std::pair<const char*, Colour>> plain = {
        {"clBlack", 0x00000000}, {"clMaroon", 0x00000080},     {"clGreen", 0x00008000},
        {"clOlive", 0x00008080}, {"clNavy", 0x00800000},       {"clPurple", 0x00800080},
        {"clTeal", 0x00808000},  {"clGray", 0x00808080},       {"clSilver", 0x00C0C0C0},
        {"clRed", 0x000000FF},   {"clLime", 0x0000FF00},       {"clYellow", 0x0000FFFF},
        {"clBlue", 0x00FF0000},  {"clFuchsia", 0x00FF00FF},    {"clAqua", 0x00FFFF00},
        {"clWhite", 0x00FFFFFF}, {"clMoneyGreen", 0x00C0DCC0}, {"clSkyBlue", 0x00F0CAA6},
        {"clCream", 0x00F0FBFF}, {"clMedGray", 0x00A4A0A0}};
    for (const auto& [name, value] : plain) {
        EXPECT_EQ(ValueCodec::readColour(name), value) << name;
        EXPECT_EQ(ValueCodec::writeColour(value), name);
    }
    EXPECT_EQ(ValueCodec::readColour("CLLIME"), 0x0000FF00u);
    EXPECT_EQ(ValueCodec::readColour("clmedgray"), 0x00A4A0A0u);

    // Names only read: the special values and system colours (0xFF000000 + number).
    EXPECT_EQ(ValueCodec::readColour("clNone"), 0x1FFFFFFFu);
    EXPECT_EQ(ValueCodec::readColour("CLDEFAULT"), 0x20000000u);
    EXPECT_EQ(ValueCodec::readColour("clScrollBar"), 0xFF000000u);
    EXPECT_EQ(ValueCodec::readColour("clBtnFace"), 0xFF00000Fu);
    EXPECT_EQ(ValueCodec::readColour("cl3DDkShadow"), 0xFF000015u);
    EXPECT_EQ(ValueCodec::readColour("clInfoBk"), 0xFF000018u);
    EXPECT_EQ(ValueCodec::readColour("clHotLight"), 0xFF00001Au); // number 25 has no name
    EXPECT_EQ(ValueCodec::readColour("clMenuBar"), 0xFF00001Eu);
    EXPECT_EQ(ValueCodec::writeColour(0x1FFFFFFF), "$1FFFFFFF");
    EXPECT_EQ(ValueCodec::writeColour(0xFF00000F), "$FF00000F");

    // Red 0, green 128, blue 255.
    EXPECT_EQ(ValueCodec::writeColour(0x00FF8000), "$00FF8000");
    EXPECT_EQ(ValueCodec::readColour("$00FF8000"), 0x00FF8000u);
    EXPECT_EQ(ValueCodec::readColour("$00ff8000"), 0x00FF8000u);
    EXPECT_EQ(ValueCodec::readColour("65280"), 0x0000FF00u);
    EXPECT_EQ(ValueCodec::readColour("-16777201"), 0xFF00000Fu);
    EXPECT_EQ(ValueCodec::writeColour(0x00000001), "$00000001");
    for (const char* bad : {"", "lime", "clLime2", "cl", "#00FF00", "$GG"})
        EXPECT_EQ(ValueCodec::readColour(bad), std::nullopt) << bad;
}

TEST(ValueCodec, TitleCaretsPasswordScramblingAndDateTimes)
{
    EXPECT_EQ(ValueCodec::titleToStored("Bandwidth graph of "), "Bandwidth^graph^of^");
    EXPECT_EQ(ValueCodec::titleFromStored("Bandwidth graph of^"), "Bandwidth graph of ");
    EXPECT_EQ(ValueCodec::titleFromStored("a^^b"), "a  b");

    EXPECT_EQ(ValueCodec::EnDeCrypt(""), "");
    EXPECT_EQ(ValueCodec::EnDeCrypt("A"), "\xBE"); // 255 - 0x41
    std::string every;
    for (int c = 0; c < 256; ++c)
        every += static_cast<char>(c);
    const std::string scrambled = ValueCodec::EnDeCrypt(every);
    ASSERT_EQ(scrambled.size(), 256u);
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(static_cast<unsigned char>(scrambled[static_cast<std::size_t>(c)]), 255 - c);
    EXPECT_EQ(ValueCodec::EnDeCrypt(scrambled), every);

    EXPECT_EQ(ValueCodec::readDateTime("19/02/2008 00:01:00"), (DateTime{2008, 2, 19, 0, 1, 0}));
    EXPECT_EQ(ValueCodec::readDateTime("not a date"), std::nullopt);
    EXPECT_EQ(ValueCodec::writeDateTime(DateTime{2008, 2, 19, 0, 1, 0}), "19/02/2008 00:01:00");
}
