#include "web/documents/MimeTable.h"

#include <gtest/gtest.h>

using namespace flowloom::web;

TEST(MimeTable, PublishedExtensionsHaveTheirTypes)
{
    EXPECT_EQ(MimeTable::GetMIMEType("/graph.bmp"), "image/bmp");
    EXPECT_EQ(MimeTable::GetMIMEType("/flowloom.gif"), "image/gif");
    EXPECT_EQ(MimeTable::GetMIMEType("/flowloom.jpg"), "image/jpeg");
    EXPECT_EQ(MimeTable::GetMIMEType("/netstats.png"), "image/x-png");
    EXPECT_EQ(MimeTable::GetMIMEType("/formatted.txt"), "text/plain");
    // The extension is compared without regard to case, from the last ".".
    EXPECT_EQ(MimeTable::GetMIMEType("/Flowloom.JPG"), "image/jpeg");
    EXPECT_EQ(MimeTable::GetMIMEType("/a.jpg.TxT"), "text/plain");
}

TEST(MimeTable, EverythingElseIsOctetStream)
{
    for (const char* path :
         {"", "/", "/netstats", "/a.jpeg", "/a.jpgx", "/a.", "/a.tx", "/dir.txt/name", ".jp"}) {
        EXPECT_EQ(MimeTable::GetMIMEType(path), "application/octet-stream") << path;
    }
}
