#include "web/http/Limits.h"
#include "web/http/RequestParser.h"

#include <gtest/gtest.h>

#include <string>

using namespace flowloom::web;

namespace {

// Feeds a whole text at once and, when asked, byte by byte to a second parser;
// both must agree, since the network may split a request anywhere.
ParseStatus parseBothWays(const std::string& text, RequestParser& whole)
{
    RequestParser bytewise;
    ParseStatus stepped = ParseStatus::NeedsMore;
    for (char c : text) {
        stepped = bytewise.feed(std::string_view(&c, 1));
    }
    const ParseStatus status = whole.feed(text);
    EXPECT_EQ(stepped, status) << text.substr(0, 60);
    EXPECT_EQ(bytewise.error(), whole.error());
    return status;
}

std::string requestWithTargetOfLength(std::size_t lineLength)
{
    // "GET /" + filler + " HTTP/1.1" is the filler's length plus 14.
    return "GET /" + std::string(lineLength - 14, 'a') + " HTTP/1.1\r\n\r\n";
}

} // namespace

TEST(RequestParser, RequestLineSplitsAtLastAndFirstSpace)
{
    RequestParser lower;
    ASSERT_EQ(parseBothWays("get /formatted.txt?x=1 HTTP/1.1\r\n\r\n", lower),
              ParseStatus::Complete);
    EXPECT_EQ(lower.request().method(), "GET");
    EXPECT_EQ(lower.request().target(), "/formatted.txt?x=1");
    EXPECT_EQ(lower.request().version(), "HTTP/1.1");
    EXPECT_EQ(lower.request().documentPath(), "/formatted.txt");
    EXPECT_EQ(lower.request().query(), "x=1");

    // One space only: what follows it is the version, the target is empty.
    RequestParser single;
    ASSERT_EQ(parseBothWays("GET /formatted.txt\r\n\r\n", single), ParseStatus::Complete);
    EXPECT_EQ(single.request().method(), "GET");
    EXPECT_EQ(single.request().version(), "/formatted.txt");
    EXPECT_EQ(single.request().target(), "");
    EXPECT_EQ(single.request().documentPath(), "");

    // Spaces inside the target stay there; bare LF line ends are accepted.
    RequestParser spaced;
    ASSERT_EQ(parseBothWays("Put /a b HTTP/1.0\n\n", spaced), ParseStatus::Complete);
    EXPECT_EQ(spaced.request().method(), "PUT");
    EXPECT_EQ(spaced.request().target(), "/a b");

    // No space: the head is still read to its end, so that the request can
    // be answered (400); it carries its fault and nothing of the line.
    RequestParser noSpace;
    EXPECT_EQ(parseBothWays("GET\r\nHost: a\r\nContent-Length: 2\r\n\r\nab", noSpace),
              ParseStatus::Complete);
    EXPECT_EQ(noSpace.error(), ParseError::None);
    EXPECT_EQ(noSpace.request().fault(), RequestFault::MalformedRequestLine);
    EXPECT_EQ(noSpace.request().method(), "");
    EXPECT_EQ(noSpace.request().header("Host").value_or(""), "a");
    EXPECT_EQ(statusWithoutHandler(noSpace.request()), 400);

    RequestParser empty;
    EXPECT_EQ(parseBothWays("\r\n", empty), ParseStatus::NeedsMore);
    EXPECT_EQ(empty.feed("\r\n"), ParseStatus::Complete);
    EXPECT_EQ(empty.request().fault(), RequestFault::MalformedRequestLine);

    RequestParser endless;
    std::string lines = "GET\r\n";
    while (lines.size() <= limits::kMaxHeadLength)
        lines += "X-Filler: 1234567890\r\n";
    EXPECT_EQ(parseBothWays(lines, endless), ParseStatus::Bad)
        << "a head without end stays bounded";
}

TEST(RequestParser, TheServerAnswersFaultsAndUnknownMethodsItself)
{
    struct Case
    {
        std::string head;
        int status;
    };
    const Case cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", 0},
        {"head / HTTP/1.1\r\n\r\n", 0},
        {"POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 0},
        {"GET / HTTP/1.1\r\nAuthorization: Basic YTo=\r\n\r\n", 0},
        {"GET / HTTP/1.1\r\nAuthorization: Basic *\r\n\r\n", 0}, // the handler's challenge
        {"OPTIONS * HTTP/1.1\r\n\r\n", 501},
        {"DELETE / HTTP/1.1\r\n\r\n", 501},
        {"BREW /pot HTTP/1.1\r\n\r\n", 501},
        {"GET / HTTP/1.1\r\nAuthorization: Digest username=\"a\"\r\n\r\n", 401},
        {"GET / HTTP/1.1\r\nAuthorization: Bearer abc\r\n\r\n", 401},
        {"OPTIONS * HTTP/1.1\r\nAuthorization: Bearer abc\r\n\r\n", 501},
        {"GET\r\n\r\n", 400},
        {"GET\r\nAuthorization: Bearer abc\r\n\r\n", 400},
    };
    for (const Case& c : cases) {
        RequestParser parser;
        ASSERT_EQ(parseBothWays(c.head, parser), ParseStatus::Complete) << c.head;
        EXPECT_EQ(statusWithoutHandler(parser.request()), c.status) << c.head;
    }
}

TEST(RequestParser, HeadersKeepArrivalOrderAndMatchWithoutCase)
{
    RequestParser parser;
    ASSERT_EQ(parseBothWays("GET / HTTP/1.1\r\nHost: a\r\nx-Tag:  one \r\nX-TAG: two\r\n"
                            "Odd line\r\n\r\n",
                            parser),
              ParseStatus::Complete);
    const Request& request = parser.request();
    ASSERT_EQ(request.headerCount(), 4u);
    EXPECT_EQ(request.headerAt(0).name, "Host");
    EXPECT_EQ(request.headerAt(1).name, "x-Tag");
    EXPECT_EQ(request.headerAt(1).value, "one");
    EXPECT_EQ(request.headerAt(2).value, "two");
    EXPECT_EQ(request.headerAt(3).name, "Odd line");
    EXPECT_EQ(request.headerAt(3).value, "");
    EXPECT_EQ(request.header("X-tag"), "one");
    EXPECT_EQ(request.header("HOST"), "a");
    EXPECT_FALSE(request.header("Hos"));

    // A copy must not point into the original's storage.
    const Request copy = parser.takeRequest();
    EXPECT_EQ(copy.header("host"), "a");
}

TEST(RequestParser, LinesAreLimitedTo16384Bytes)
{
    ASSERT_EQ(limits::kMaxLineLength, 16384u);
    RequestParser atLimit;
    EXPECT_EQ(parseBothWays(requestWithTargetOfLength(16384), atLimit), ParseStatus::Complete);

    RequestParser pastLimit;
    EXPECT_EQ(parseBothWays(requestWithTargetOfLength(16385), pastLimit), ParseStatus::Bad);
    EXPECT_EQ(pastLimit.error(), ParseError::LineTooLong);

    // Also without the line break ever arriving: refused as soon as it is too long.
    RequestParser endless;
    EXPECT_EQ(endless.feed(std::string(16385, 'a')), ParseStatus::NeedsMore); // may end in CR
    EXPECT_EQ(endless.feed("a"), ParseStatus::Bad);

    // Header lines: "X: " plus filler.
    RequestParser headerAtLimit;
    EXPECT_EQ(parseBothWays("GET / HTTP/1.1\r\nX: " + std::string(16381, 'b') + "\r\n\r\n",
                            headerAtLimit),
              ParseStatus::Complete);
    RequestParser headerPastLimit;
    EXPECT_EQ(
        parseBothWays("GET / HTTP/1.1\nX: " + std::string(16382, 'b') + "\n\n", headerPastLimit),
        ParseStatus::Bad);
}

TEST(RequestParser, HeadIsLimitedTo64KiB)
{
    ASSERT_EQ(limits::kMaxHeadLength, 65536u);
    // Request line (16 bytes) + three header lines of 16386 bytes + one more
    // line + the closing empty line (2 bytes) make exactly 65536 bytes.
    const std::string requestLine = "GET / HTTP/1.1\r\n";
    const std::string fullLine = "X: " + std::string(16381, 'c') + "\r\n";
    const std::size_t lastLineLength = 65536 - requestLine.size() - 3 * fullLine.size() - 2;
    const std::string lastLine = "Y: " + std::string(lastLineLength - 5, 'd') + "\r\n";
    const std::string head = requestLine + fullLine + fullLine + fullLine + lastLine + "\r\n";
    ASSERT_EQ(head.size(), 65536u);

    RequestParser atLimit;
    EXPECT_EQ(atLimit.feed(head), ParseStatus::Complete);

    const std::string longer =
        requestLine + fullLine + fullLine + fullLine + "Y: e" + lastLine.substr(3) + "\r\n";
    ASSERT_EQ(longer.size(), 65537u);
    RequestParser pastLimit;
    EXPECT_EQ(pastLimit.feed(longer), ParseStatus::Bad);
    EXPECT_EQ(pastLimit.error(), ParseError::HeadTooLong);
}

TEST(RequestParser, BodyFollowsContentLengthOrPostUntilClose)
{
    RequestParser withLength;
    EXPECT_EQ(withLength.feed("POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nab"),
              ParseStatus::NeedsMore);
    EXPECT_EQ(withLength.feed("cde and what follows is ignored"), ParseStatus::Complete);

    // A large body is counted, not kept: it arrives in pieces and is done.
    RequestParser large;
    EXPECT_EQ(large.feed("PUT / HTTP/1.1\r\ncontent-length: 3000000\r\n\r\n"),
              ParseStatus::NeedsMore);
    const std::string piece(100000, 'z');
    ParseStatus status = ParseStatus::NeedsMore;
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(status, ParseStatus::NeedsMore);
        status = large.feed(piece);
    }
    EXPECT_EQ(status, ParseStatus::Complete);

    RequestParser untilClose;
    EXPECT_EQ(untilClose.feed("POST / HTTP/1.1\r\n\r\nsome body"), ParseStatus::NeedsMore);
    EXPECT_EQ(untilClose.finish(), ParseStatus::Complete);

    RequestParser get;
    EXPECT_EQ(get.feed("GET / HTTP/1.1\r\n\r\nextra"), ParseStatus::Complete);

    // A length that is zero or not a number means no body, even for POST.
    RequestParser zero;
    EXPECT_EQ(zero.feed("POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n"), ParseStatus::Complete);
    RequestParser notNumber;
    EXPECT_EQ(notNumber.feed("POST / HTTP/1.1\r\nContent-Length: -3\r\n\r\n"),
              ParseStatus::Complete);

    RequestParser truncatedHead;
    EXPECT_EQ(truncatedHead.feed("GET / HTTP/1.1\r\nHost: a\r\n"), ParseStatus::NeedsMore);
    EXPECT_EQ(truncatedHead.finish(), ParseStatus::Bad);
    EXPECT_EQ(truncatedHead.error(), ParseError::Truncated);

    RequestParser truncatedBody;
    EXPECT_EQ(truncatedBody.feed("POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\nab"),
              ParseStatus::NeedsMore);
    EXPECT_EQ(truncatedBody.finish(), ParseStatus::Bad);
}

TEST(RequestParser, AuthorizationGivesCredentialsOrMarksTheScheme)
{
    RequestParser none;
    ASSERT_EQ(none.feed("GET / HTTP/1.1\r\n\r\n"), ParseStatus::Complete);
    EXPECT_EQ(none.request().userName(), "");
    EXPECT_EQ(none.request().password(), "");

    RequestParser basic;
    ASSERT_EQ(parseBothWays("GET / HTTP/1.1\r\nauthorization: bAsIc dXNlcjpwYXNz\r\n\r\n", basic),
              ParseStatus::Complete);
    EXPECT_EQ(basic.request().userName(), "user");
    EXPECT_EQ(basic.request().password(), "pass");

    RequestParser empty;
    EXPECT_EQ(empty.feed("GET / HTTP/1.1\r\nAuthorization:\r\n\r\n"), ParseStatus::Complete);

    RequestParser digest;
    EXPECT_EQ(digest.feed("GET / HTTP/1.1\r\nAuthorization: Digest username=\"a\"\r\n\r\n"),
              ParseStatus::Complete);
    EXPECT_EQ(digest.request().fault(), RequestFault::UnsupportedAuthorization);
    EXPECT_EQ(digest.request().userName(), "");

    // Basic with no Base64 goes on to the handler as wrong credentials.
    RequestParser malformed;
    EXPECT_EQ(malformed.feed("GET / HTTP/1.1\r\nAuthorization: Basic *\r\n\r\n"),
              ParseStatus::Complete);
    EXPECT_TRUE(malformed.request().credentialsMalformed());
    EXPECT_EQ(malformed.request().userName(), "");
    EXPECT_FALSE(basic.request().credentialsMalformed());
}
