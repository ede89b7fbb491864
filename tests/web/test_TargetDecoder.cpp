#include "web/http/TargetDecoder.h"

#include <gtest/gtest.h>

using namespace flowloom::web;

TEST(TargetDecoder, PercentDecodingKeepsValidBytesAndDropsTheRest)
{
    EXPECT_EQ(percentDecode("%41%00%zz+b"), "A b");
    EXPECT_EQ(percentDecode("/a%20b.jpg"), "/a b.jpg");
    EXPECT_EQ(percentDecode("%2B+%2b"), "+ +");
    EXPECT_EQ(percentDecode("%4a%4A"), "JJ");
    EXPECT_EQ(percentDecode("%ff"), std::string(1, '\xff'));
    EXPECT_EQ(percentDecode("%01"), std::string(1, '\x01'));
    // A "%" without two hex digits goes with what follows it, at most two bytes.
    EXPECT_EQ(percentDecode("a%4"), "a");
    EXPECT_EQ(percentDecode("a%"), "a");
    EXPECT_EQ(percentDecode("a%4gz"), "az");
    EXPECT_EQ(percentDecode("%%41"), "1");
    EXPECT_EQ(percentDecode(""), "");
}

TEST(TargetDecoder, TargetSplitsIntoDocumentPathAndQuery)
{
    DecodedTarget plain = decodeTarget("/formatted.txt?x=1");
    EXPECT_EQ(plain.documentPath, "/formatted.txt");
    EXPECT_EQ(plain.query, "x=1");

    // Only the first "?" splits, and an encoded one belongs to the path.
    DecodedTarget twice = decodeTarget("/a%3Fb?c?d");
    EXPECT_EQ(twice.documentPath, "/a?b");
    EXPECT_EQ(twice.query, "c?d");

    // The query is handed over as sent, not decoded.
    EXPECT_EQ(decodeTarget("/p?a%20b").query, "a%20b");

    EXPECT_EQ(decodeTarget("*").documentPath, "*");
    EXPECT_EQ(decodeTarget("").documentPath, "");

    DecodedTarget absolute = decodeTarget("http://example.test:8080/flowloom.jpg?t=1");
    EXPECT_EQ(absolute.documentPath, "/flowloom.jpg");
    EXPECT_EQ(absolute.query, "t=1");
    EXPECT_EQ(decodeTarget("http://example.test").documentPath, "");
    EXPECT_EQ(decodeTarget("http://h/a%20b").documentPath, "/a b");
}
