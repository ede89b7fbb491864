// The text of one event of the stream, field by field as the event-stream
// format reads it: "id:", one "data:" per line of the document, a blank line.
#include "web/documents/EventDocument.h"

#include <gtest/gtest.h>

using namespace flowloom::web;

TEST(EventDocument, EachLineOfTheDocumentIsADataFieldAfterTheTick)
{
    struct Case
    {
        std::uint64_t tick;
        std::string document;
        std::string expected;
    };
    const Case cases[] = {
        // The JSON documents end with one line break, which ends the field.
        {1, "{\"a\":1}\n", "id: 1\ndata: {\"a\":1}\n\n"},
        {42, "{\"a\":1}", "id: 42\ndata: {\"a\":1}\n\n"},
        {18446744073709551615u, "x", "id: 18446744073709551615\ndata: x\n\n"},
        // A line break inside would end the field early: every line gets its own.
        {7, "a\nb", "id: 7\ndata: a\ndata: b\n\n"},
        {2, "a\r\nb\rc\n", "id: 2\ndata: a\ndata: b\ndata: c\n\n"},
        {3, "a\n\nb", "id: 3\ndata: a\ndata: \ndata: b\n\n"},
        {4, "", "id: 4\ndata: \n\n"},
        {5, "\r\n", "id: 5\ndata: \n\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eventText(c.tick, c.document), c.expected) << c.document;
}

TEST(EventDocument, ThePreludeSetsTheRetryPauseAndIsAFieldOfItsOwn)
{
    EXPECT_EQ(kEventStreamPrelude, "retry: 2000\n\n");
    EXPECT_EQ(kEventsPath, "/api/v1/events");
    EXPECT_EQ(kEventStreamType, "text/event-stream");
}
