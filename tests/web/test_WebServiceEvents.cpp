// The event stream of the web service: served while the JSON API or the live
// page is on, behind the same credentials, one event per tick's figures, and
// ended when switched off or stopped.
#include "support/LoopbackClient.h"
#include "web/documents/ApiDocuments.h"
#include "web/documents/EventDocument.h"
#include "web/ui/WebService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

using namespace flowloom;
using namespace std::chrono_literals;
using test::LoopbackClient;
using test::ReadEnd;

namespace {

constexpr const char* kGetEvents = "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

std::shared_ptr<const web::Figures> figuresAt(std::int64_t time, std::uint64_t rate)
{
    auto figures = std::make_shared<web::Figures>();
    figures->version = "1.0";
    figures->time = time;
    figures->interfaces.push_back({"lo", "", true, 10 * rate, 20 * rate});
    figures->selected = 0;
    figures->received.currentRate = rate;
    return figures;
}

// What a stream has sent, read until `until` is in it (or it ends, or 10 s pass).
struct StreamReader
{
    LoopbackClient client;
    std::string bytes;
    ReadEnd end = ReadEnd::TimedOut;

    explicit StreamReader(std::uint16_t port, const std::string& request = kGetEvents)
        : client(port)
    {
        client.send(request);
    }
    bool readUntil(const std::string& until)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (bytes.find(until) == std::string::npos && end == ReadEnd::TimedOut &&
               std::chrono::steady_clock::now() < deadline) {
            const test::Received some = client.readUntilClose(20ms);
            bytes += some.bytes;
            end = some.end;
        }
        return bytes.find(until) != std::string::npos;
    }
    bool readToEnd()
    {
        const test::Received rest = client.readUntilClose(10s);
        bytes += rest.bytes;
        end = rest.end;
        return end == ReadEnd::Closed;
    }
};

struct Service
{
    web::WebService service{[](std::function<void()>) {}, web::WebRenderers{}};
    web::WebSnapshot view;
    std::uint16_t port = 0;

    Service()
    {
        view.cbJsonApi = true;
        service.publish(view);
        port = service.start({"127.0.0.1", 0}).port;
    }
    void publish(std::shared_ptr<const web::Figures> figures)
    {
        view.figures = std::move(figures);
        service.publish(view);
    }
};

std::string head(const std::string& reply)
{
    return reply.substr(0, reply.find("\r\n\r\n") + 4);
}

} // namespace

TEST(WebServiceEvents, EachTicksFiguresAreOneEventOfTheSummary)
{
    Service s;
    const auto first = figuresAt(1'700'000'000, 100);
    s.publish(first);

    StreamReader reader(s.port);
    const std::string firstEvent = web::eventText(1, web::summaryJson(*first));
    ASSERT_TRUE(reader.readUntil(firstEvent)) << reader.bytes;
    EXPECT_EQ(head(reader.bytes), "HTTP/1.1 200 OK\r\nConnection: close\r\n"
                                  "Content-Type: text/event-stream\r\nServer: Flowloom/1.0\r\n"
                                  "Cache-Control: no-store\r\n\r\n");
    EXPECT_EQ(reader.bytes, head(reader.bytes) + "retry: 2000\n\n" + firstEvent)
        << "the stream starts at the current tick";

    // The same figures published again (a name changed) are no new tick.
    s.publish(first);
    const auto second = figuresAt(1'700'000'001, 200);
    s.publish(second);
    const std::string secondEvent = web::eventText(2, web::summaryJson(*second));
    ASSERT_TRUE(reader.readUntil(secondEvent));
    EXPECT_TRUE(reader.bytes.ends_with(firstEvent + secondEvent));

    // A later stream begins at the newest tick.
    StreamReader late(s.port);
    ASSERT_TRUE(late.readUntil(secondEvent));
    EXPECT_EQ(late.bytes.find(firstEvent), std::string::npos);
}

TEST(WebServiceEvents, ServedWhileTheJsonApiOrTheLivePageIsOnAndBehindTheCredentials)
{
    Service s;
    s.publish(figuresAt(1'700'000'000, 1));
    struct Case
    {
        bool jsonApi;
        bool livePage;
        bool credentials; // required, and the request sends none
        const char* expectedStatus;
    };
    const Case cases[] = {
        {false, false, false, "HTTP/1.1 404 Not Found"},
        {true, false, false, "HTTP/1.1 200 OK"},
        {false, true, false, "HTTP/1.1 200 OK"},
        {true, true, false, "HTTP/1.1 200 OK"},
        {true, false, true, "HTTP/1.1 401 Unauthorized"},
        {false, true, true, "HTTP/1.1 401 Unauthorized"},
    };
    for (const Case& c : cases) {
        s.view.cbJsonApi = c.jsonApi;
        s.view.cbLivePage = c.livePage;
        s.view.credentials = web::CredentialCheck(c.credentials, "ann", "secret");
        s.service.publish(s.view);
        for (const std::string path : {"/api/v1/events", "/api/v1/summary.json"}) {
            // HEAD: the head alone, so that the stream ends with it.
            const std::string reply =
                LoopbackClient::exchange(s.port, "HEAD " + path + " HTTP/1.1\r\n\r\n").bytes;
            EXPECT_TRUE(reply.starts_with(c.expectedStatus))
                << path << " api " << c.jsonApi << " page " << c.livePage << ": " << reply;
        }
    }
}

TEST(WebServiceEvents, StreamsEndWhenSwitchedOffAndWhenTheServerStops)
{
    Service s;
    s.publish(figuresAt(1'700'000'000, 1));
    {
        StreamReader reader(s.port);
        ASSERT_TRUE(reader.readUntil("id: 1\n"));
        s.view.cbJsonApi = false; // the live page is off too
        s.service.publish(s.view);
        EXPECT_TRUE(reader.readToEnd());
    }
    s.view.cbJsonApi = true;
    s.service.publish(s.view);
    StreamReader first(s.port), second(s.port);
    ASSERT_TRUE(first.readUntil("id: 1\n"));
    ASSERT_TRUE(second.readUntil("id: 1\n"));
    s.service.stop();
    EXPECT_TRUE(first.readToEnd());
    EXPECT_TRUE(second.readToEnd());
}
