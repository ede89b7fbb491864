#include "support/FailingSink.h"
#include "web/http/Reply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace flowloom::web;

namespace {

class StringSink : public flowloom::output::ByteSink
{
public:
    bool write(const std::uint8_t* data, std::size_t size) noexcept override
    {
        text.append(reinterpret_cast<const char*>(data), size);
        ++writes;
        return true;
    }
    std::string text;
    int writes = 0;
};

const std::string kDefaultUnauthorized = "<HTML><BODY><B>401 Unauthorized</B></BODY></HTML>";

} // namespace

TEST(Reply, DefaultsAndHeaderOrder)
{
    StringSink sink;
    Reply reply(sink, false);
    EXPECT_EQ(reply.statusCode(), 200);
    EXPECT_EQ(reply.statusText(), "OK");
    EXPECT_EQ(reply.contentType(), "text/html");
    EXPECT_FALSE(reply.contentLength());
    EXPECT_FALSE(reply.hasContent());
    EXPECT_TRUE(reply.closeConnection());
    reply.writeContent();
    // No content: no Content-Length; never a Date.
    EXPECT_EQ(sink.text, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\n"
                         "Server: Flowloom/1.0\r\n\r\n");

    StringSink full;
    Reply challenge(full, false);
    challenge.setContentType("text/plain");
    challenge.setContentText("no");
    challenge.setRealm("Flowloom Web Service");
    challenge.writeContent();
    EXPECT_EQ(full.text, "HTTP/1.1 401 Unauthorized\r\nConnection: close\r\n"
                         "Content-Type: text/plain\r\nContent-Length: 2\r\n"
                         "Server: Flowloom/1.0\r\n"
                         "WWW-Authenticate: Basic realm=\"Flowloom Web Service\"\r\n\r\nno");

    StringSink untyped;
    Reply noType(untyped, false);
    noType.setContentType("");
    noType.setStatus(404);
    noType.writeHeader();
    EXPECT_EQ(untyped.text,
              "HTTP/1.1 404 Not Found\r\nConnection: close\r\nServer: Flowloom/1.0\r\n\r\n");
}

TEST(Reply, StatusTexts)
{
    EXPECT_EQ(Reply::statusTextFor(200), "OK");
    EXPECT_EQ(Reply::statusTextFor(401), "Unauthorized");
    EXPECT_EQ(Reply::statusTextFor(404), "Not Found");
    EXPECT_EQ(Reply::statusTextFor(500), "Internal Server Error");
    StringSink sink;
    Reply reply(sink, false);
    reply.setStatus(500);
    EXPECT_EQ(reply.statusText(), "Internal Server Error");
    reply.setStatus(302, "Found");
    EXPECT_EQ(reply.statusText(), "Found");
    EXPECT_THROW(reply.setStatus(99), std::invalid_argument);
    EXPECT_THROW(reply.setStatus(1000), std::invalid_argument);
}

TEST(Reply, RealmWithoutContentGivesTheBoldPage)
{
    StringSink sink;
    Reply reply(sink, false);
    reply.setRealm("R");
    reply.writeContent();
    const std::string expectedHead =
        "HTTP/1.1 401 Unauthorized\r\nConnection: close\r\nContent-Type: text/html\r\n"
        "Content-Length: " +
        std::to_string(kDefaultUnauthorized.size()) +
        "\r\nServer: Flowloom/1.0\r\nWWW-Authenticate: Basic realm=\"R\"\r\n\r\n";
    EXPECT_EQ(sink.text, expectedHead + kDefaultUnauthorized);
}

TEST(Reply, ContentLengthCountsTheBodySent)
{
    // A length the handler set is overruled by the content actually sent.
    StringSink sink;
    Reply reply(sink, false);
    reply.setContentLength(999);
    reply.setContentText("four");
    reply.writeContent();
    EXPECT_NE(sink.text.find("\r\nContent-Length: 4\r\n"), std::string::npos);
    EXPECT_EQ(sink.text.substr(sink.text.size() - 8), "\r\n\r\nfour");

    // Bytes, zero byte included; text takes precedence over bytes.
    StringSink bytes;
    Reply binary(bytes, false);
    binary.setContentBytes({'G', 'I', 0, 'F'});
    binary.writeContent();
    EXPECT_NE(bytes.text.find("\r\nContent-Length: 4\r\n"), std::string::npos);
    EXPECT_EQ(bytes.text.substr(bytes.text.size() - 4), std::string("GI\0F", 4));

    StringSink both;
    Reply textFirst(both, false);
    textFirst.setContentBytes({'x', 'y', 'z'});
    textFirst.setContentText("ab");
    textFirst.writeContent();
    EXPECT_EQ(both.text.substr(both.text.size() - 6), "\r\n\r\nab");

    // Without content of its own, a handler's length stands (a streamed body).
    StringSink streamed;
    Reply stream(streamed, false);
    stream.setContentLength(7);
    stream.writeHeader();
    EXPECT_NE(streamed.text.find("\r\nContent-Length: 7\r\n"), std::string::npos);

    // Present but empty bytes: a body of length 0.
    StringSink emptyBytes;
    Reply empty(emptyBytes, false);
    empty.setContentBytes({});
    empty.writeContent();
    EXPECT_NE(emptyBytes.text.find("\r\nContent-Length: 0\r\n"), std::string::npos);
}

TEST(Reply, HeadSendsTheHeadersOfGetWithoutBody)
{
    StringSink getSink;
    StringSink headSink;
    for (auto [sink, headOnly] : {std::pair{&getSink, false}, std::pair{&headSink, true}}) {
        Reply reply(*sink, headOnly);
        reply.setContentType("image/jpeg");
        reply.setContentBytes({1, 2, 3, 4, 5});
        reply.writeContent();
    }
    const std::size_t headEnd = getSink.text.find("\r\n\r\n") + 4;
    EXPECT_EQ(headSink.text, getSink.text.substr(0, headEnd));
    EXPECT_EQ(getSink.text.size(), headEnd + 5);
    EXPECT_NE(headSink.text.find("Content-Length: 5\r\n"), std::string::npos);
}

TEST(Reply, WriteOperations)
{
    StringSink sink;
    Reply reply(sink, false);
    reply.setContentText("body");
    reply.writeHeader();
    EXPECT_TRUE(reply.headerWritten());
    try {
        reply.writeHeader();
        FAIL() << "a second header must be refused";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "Header has already been written.");
    }
    const std::size_t afterHeader = sink.text.size();
    reply.writeContent();
    EXPECT_EQ(sink.text.substr(afterHeader), "body");
    // The content is gone after writing: a second write sends nothing.
    EXPECT_FALSE(reply.hasContent());
    reply.writeContent();
    EXPECT_EQ(sink.text.size(), afterHeader + 4);
}

TEST(Reply, FailuresAndUnsafeValues)
{
    flowloom::test::FailingSink refusing(10); // a peer that went away
    Reply reply(refusing, false);
    reply.setContentText("x");
    EXPECT_THROW(reply.writeContent(), ReplyWriteError);
    EXPECT_FALSE(reply.hasContent());

    // A failing handler's reply: 500 with the message, realm and bytes dropped.
    StringSink sink;
    Reply failed(sink, false);
    failed.setRealm("R");
    failed.setContentBytes({'a'});
    failed.resetForFailure("boom");
    failed.writeContent();
    EXPECT_EQ(sink.text, "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\n"
                         "Content-Type: text/html\r\nContent-Length: 4\r\n"
                         "Server: Flowloom/1.0\r\n\r\nboom");

    // Line breaks in handler-set values cannot forge headers.
    StringSink forged;
    Reply injected(forged, false);
    injected.setContentType("text/plain\r\nSet-Cookie: a=b");
    injected.setRealm("a\"b\r\nX: y");
    injected.writeHeader();
    EXPECT_EQ(forged.text.find("\r\nSet-Cookie"), std::string::npos);
    EXPECT_NE(forged.text.find("Content-Type: text/plainSet-Cookie: a=b\r\n"), std::string::npos);
    EXPECT_NE(forged.text.find("WWW-Authenticate: Basic realm=\"a\\\"bX: y\"\r\n"),
              std::string::npos);
}

TEST(Reply, FurtherHeadersFollowTheUsualOnesAndCannotForgeMore)
{
    // An event stream's head: no length, since the body has no end.
    StringSink stream;
    Reply events(stream, false);
    events.setContentType("text/event-stream");
    events.addHeader("Cache-Control", "no-store");
    events.writeHeader();
    EXPECT_EQ(stream.text, "HTTP/1.1 200 OK\r\nConnection: close\r\n"
                           "Content-Type: text/event-stream\r\nServer: Flowloom/1.0\r\n"
                           "Cache-Control: no-store\r\n\r\n");

    // A refusal with its pause, and line breaks dropped from both parts.
    StringSink refused;
    Reply busy(refused, false);
    busy.setStatus(503, "Service Unavailable");
    busy.setContentType("text/plain");
    busy.setContentText("busy\n");
    busy.addHeader("Retry-After", "10\r\nSet-Cookie: a=b");
    busy.addHeader("X-\nOne", "1");
    busy.writeContent();
    EXPECT_EQ(refused.text, "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n"
                            "Content-Type: text/plain\r\nContent-Length: 5\r\n"
                            "Server: Flowloom/1.0\r\nRetry-After: 10Set-Cookie: a=b\r\n"
                            "X-One: 1\r\n\r\nbusy\n");

    // A failing handler's 500 carries none of them.
    StringSink failedSink;
    Reply failed(failedSink, false);
    failed.addHeader("Cache-Control", "no-store");
    failed.resetForFailure("boom");
    failed.writeContent();
    EXPECT_EQ(failedSink.text.find("Cache-Control"), std::string::npos);
}
