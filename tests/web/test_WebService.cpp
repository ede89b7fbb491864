#include "support/LoopbackClient.h"
#include "web/documents/MetricsDocument.h"
#include "web/documents/StatisticsDocuments.h"
#include "web/ui/WebService.h"

#include <QImage>
#include <atomic>
#include <deque>
#include <future>
#include <gtest/gtest.h>
#include <mutex>

#include <poll.h>
#include <sys/socket.h>

using namespace flowloom;
using namespace std::chrono_literals;

namespace {
// Stands in for the user-interface thread: queued calls run when the test says.
struct QueuedCalls
{
    std::mutex mutex;
    std::deque<std::function<void()>> calls;

    std::function<void(std::function<void()>)> poster()
    {
        return [this](std::function<void()> call) {
            std::lock_guard lock(mutex);
            calls.push_back(std::move(call));
        };
    }
    std::size_t size()
    {
        std::lock_guard lock(mutex);
        return calls.size();
    }
    void runAll()
    {
        std::deque<std::function<void()>> now;
        {
            std::lock_guard lock(mutex);
            now.swap(calls);
        }
        for (auto& call : now)
            call();
    }
};

bool waitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 500 && !condition(); ++i)
        std::this_thread::sleep_for(10ms);
    return condition();
}

std::string body(const std::string& reply)
{
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}
} // namespace

TEST(WebServiceDispatch, WaitingGraphRequestsShareOneRenderingAndEachGetsAWholeImage)
{
    QueuedCalls ui;
    std::atomic<int> renders{0};
    web::WebRenderers renderers;
    renderers.graph = [&]() -> std::optional<QImage> {
        ++renders;
        QImage image(64, 32, QImage::Format_RGB32);
        image.fill(Qt::green);
        return image;
    };
    web::WebService service(ui.poster(), renderers);
    web::WebSnapshot view;
    view.imageType = output::ImageType::Bmp;
    view.edTemp = "flowloom.bmp";
    service.publish(view);
    const std::uint16_t port = service.start({"127.0.0.1", 0}).port;

    std::vector<std::future<test::Received>> replies;
    for (int i = 0; i < 3; ++i)
        replies.push_back(std::async(std::launch::async, [port] {
            return test::LoopbackClient::exchange(port, "GET /flowloom.bmp HTTP/1.1\r\n\r\n");
        }));
    // All three wait for the window; one rendering is queued for them.
    ASSERT_TRUE(waitFor([&] { return ui.size() == 1; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ui.size(), 1u);
    ui.runAll();
    for (auto& reply : replies) {
        const std::string bytes = reply.get().bytes;
        EXPECT_NE(bytes.find("Content-Type: image/bmp\r\n"), std::string::npos);
        const std::string bmp = body(bytes);
        const QImage decoded = QImage::fromData(reinterpret_cast<const uchar*>(bmp.data()),
                                                static_cast<int>(bmp.size()), "BMP");
        EXPECT_EQ(decoded.size(), QSize(64, 32));
        EXPECT_EQ(decoded.pixelColor(5, 5), QColor(Qt::green));
    }
    EXPECT_EQ(renders.load(), 1);

    // A request that comes once the rendering has begun gets a rendering of its own.
    auto later = std::async(std::launch::async, [port] {
        return test::LoopbackClient::exchange(port, "GET /flowloom.bmp HTTP/1.1\r\n\r\n");
    });
    ASSERT_TRUE(waitFor([&] { return ui.size() == 1; }));
    ui.runAll();
    later.get();
    EXPECT_EQ(renders.load(), 2);
    service.stop();
}

TEST(WebServiceDispatch, FailedRenderingsGiveTheUnableToLocatePageOrAnError)
{
    QueuedCalls ui;
    web::WebRenderers renderers;
    renderers.graph = []() -> std::optional<QImage> { return std::nullopt; };
    renderers.statistics = [](const std::string&) -> std::optional<QImage> { return std::nullopt; };
    web::WebService service(ui.poster(), renderers);
    web::WebSnapshot view;
    view.edTemp = "flowloom.jpg";
    view.cbImage = true;
    view.edImage = "netstats.jpg";
    service.publish(view);
    const std::uint16_t port = service.start({"127.0.0.1", 0}).port;
    auto reply = std::async(std::launch::async, [port] {
        return test::LoopbackClient::exchange(port, "GET /flowloom.jpg HTTP/1.1\r\n\r\n");
    });
    ASSERT_TRUE(waitFor([&] { return ui.size() == 1; }));
    ui.runAll();
    const std::string bytes = reply.get().bytes;
    EXPECT_EQ(bytes.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
    EXPECT_EQ(body(bytes), "<html><head><title>Error</title></head><body><h1>404 - Not "
                           "Found</h1><p><b>Flowloom</b> is unable to locate \"/flowloom.jpg\""
                           "</body></html>");

    // A statistics image that cannot be made is a server error, not an empty 200.
    auto statistics = std::async(std::launch::async, [port] {
        return test::LoopbackClient::exchange(port, "GET /netstats.jpg HTTP/1.1\r\n\r\n");
    });
    ASSERT_TRUE(waitFor([&] { return ui.size() == 1; }));
    ui.runAll();
    const std::string failed = statistics.get().bytes;
    EXPECT_EQ(failed.rfind("HTTP/1.1 500 Internal Server Error\r\n", 0), 0u) << failed;
    EXPECT_EQ(body(failed), "The statistics image could not be created.");
    service.stop();
}

TEST(WebServiceDispatch, StopReleasesRequestsThatWaitForTheWindow)
{
    QueuedCalls ui; // never run: the window is busy
    web::WebRenderers renderers;
    renderers.graph = []() -> std::optional<QImage> { return QImage(8, 8, QImage::Format_RGB32); };
    web::WebService service(ui.poster(), renderers);
    web::WebSnapshot view;
    view.edTemp = "flowloom.jpg";
    service.publish(view);
    const std::uint16_t port = service.start({"127.0.0.1", 0}).port;
    auto reply = std::async(std::launch::async, [port] {
        return test::LoopbackClient::exchange(port, "GET /flowloom.jpg HTTP/1.1\r\n\r\n");
    });
    ASSERT_TRUE(waitFor([&] { return ui.size() == 1; }));
    const auto before = std::chrono::steady_clock::now();
    service.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_FALSE(service.isActive());
    reply.get();
    ui.runAll(); // the stale call finds the service stopping and does nothing
}

TEST(WebServiceDispatch, NoNewRenderingWhileRepliesBeingReadHoldTheEncodingBudget)
{
    QueuedCalls ui;
    std::atomic<int> renders{0};
    // One BMP encoding just above the budget: 3 bytes a pixel, rows padded to 4.
    const int width = 4096;
    const int height =
        static_cast<int>(web::WebService::kEncodedBytesBudget / (std::size_t(width) * 3)) + 1;
    web::WebRenderers renderers;
    renderers.graph = [&]() -> std::optional<QImage> {
        ++renders;
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::blue);
        return image;
    };
    web::WebService service(ui.poster(), renderers);
    web::WebSnapshot view;
    view.imageType = output::ImageType::Bmp;
    view.edTemp = "flowloom.bmp";
    service.publish(view);
    const std::uint16_t port = service.start({"127.0.0.1", 0}).port;

    // A slow reader: its reply holds the encoding until it has read it all.
    test::LoopbackClient slow(port);
    ASSERT_TRUE(slow.send("GET /flowloom.bmp HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(waitFor([&] { return ui.size() == 1; }));
    ui.runAll();
    // Its first bytes only: the reply has begun and stays unfinished.
    test::Received begun;
    {
        pollfd entry{slow.descriptor(), POLLIN, 0};
        ASSERT_EQ(::poll(&entry, 1, 10000), 1);
        char first[4096];
        const ssize_t got = ::recv(slow.descriptor(), first, sizeof first, 0);
        ASSERT_GT(got, 0);
        begun.bytes.assign(first, static_cast<std::size_t>(got));
    }
    ASSERT_EQ(begun.bytes.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    auto next = std::async(std::launch::async, [port] {
        return test::LoopbackClient::exchange(port, "GET /flowloom.bmp HTTP/1.1\r\n\r\n", 30s);
    });
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ui.size(), 0u) << "no rendering while the budget is held";

    // Once the slow reader has its whole image, the next rendering goes ahead.
    const test::Received rest = slow.readUntilClose(30s);
    EXPECT_EQ(rest.end, test::ReadEnd::Closed);
    const std::size_t rowBytes = (std::size_t(width) * 3 + 3) / 4 * 4;
    EXPECT_EQ(body(begun.bytes + rest.bytes).size(), 54 + rowBytes * std::size_t(height));
    ASSERT_TRUE(waitFor([&] { return ui.size() == 1; }));
    ui.runAll();
    const std::string second = next.get().bytes;
    EXPECT_EQ(body(second).size(), 54 + rowBytes * std::size_t(height));
    EXPECT_EQ(renders.load(), 2);
    service.stop();
}

// /formatted.txt and /metrics are written once per published view and shared
// by its requests: each reply holds what the document writers write from the
// view being published at the time, never an earlier view's document.
TEST(WebServiceDispatch, SharedDocumentsFollowEachPublishedView)
{
    QueuedCalls ui;
    web::WebService service(ui.poster(), web::WebRenderers{});
    const std::uint16_t port = service.start({"127.0.0.1", 0}).port;
    const auto get = [port](const std::string& path, const std::string& headers = {}) {
        return test::LoopbackClient::exchange(port,
                                              "GET " + path + " HTTP/1.1\r\n" + headers + "\r\n")
            .bytes;
    };
    const std::string openMetrics = "Accept: application/openmetrics-text; version=1.0.0\r\n";

    web::WebSnapshot view;
    view.edFormat = "formatted.txt";
    view.cbFormat = true;
    view.cbMetrics = true;
    for (const std::string total : {"1,024 Bytes", "2,048 Bytes", ""}) {
        view.statistics.Panel26 = total;
        auto figures = std::make_shared<web::Figures>();
        figures->version = "1.0";
        figures->received.cumulativeBytes = 1000 + total.size();
        view.figures = figures;
        service.publish(view);
        const std::string formatted = web::StatisticsDocuments::formatted(view.statistics);
        const std::string text = web::metricsDocument(*figures, web::MetricsFormat::Text);
        const std::string open = web::metricsDocument(*figures, web::MetricsFormat::OpenMetrics);
        for (int request = 0; request < 2; ++request) {
            const std::string reply = get("/formatted.txt");
            EXPECT_EQ(body(reply), formatted) << total;
            EXPECT_NE(reply.find("Content-Length: " + std::to_string(formatted.size()) + "\r\n"),
                      std::string::npos)
                << total;
            EXPECT_EQ(body(get("/metrics")), text) << total;
            EXPECT_EQ(body(get("/metrics", openMetrics)), open) << total;
        }
    }
    service.stop();
}

TEST(WebServiceDispatch, RepeatedPixelsReuseAnEncodingAndEveryChangeIsSent)
{
    QueuedCalls ui;
    std::atomic<int> marked{-1}; // the column drawn red, or none
    web::WebRenderers renderers;
    renderers.graph = [&]() -> std::optional<QImage> {
        QImage image(48, 24, QImage::Format_RGB32);
        image.fill(Qt::green);
        if (marked >= 0)
            image.setPixelColor(marked, 7, Qt::red);
        return image;
    };
    web::WebService service(ui.poster(), renderers);
    const std::uint16_t port = service.start({"127.0.0.1", 0}).port;

    struct Step
    {
        int marked;
        output::ImageType type;
        const char* name;
        const char* format;
    };
    // The same pixels again, one pixel changed, the first pixels once more
    // (two encodings remembered), a third picture, and the same pixels as
    // another type.
    const Step steps[] = {
        {-1, output::ImageType::Bmp, "flowloom.bmp", "BMP"},
        {-1, output::ImageType::Bmp, "flowloom.bmp", "BMP"},
        {30, output::ImageType::Bmp, "flowloom.bmp", "BMP"},
        {-1, output::ImageType::Bmp, "flowloom.bmp", "BMP"},
        {30, output::ImageType::Bmp, "flowloom.bmp", "BMP"},
        {31, output::ImageType::Bmp, "flowloom.bmp", "BMP"},
        {31, output::ImageType::Png, "flowloom.png", "PNG"},
        {31, output::ImageType::Bmp, "flowloom.bmp", "BMP"},
    };
    for (const Step& step : steps) {
        web::WebSnapshot view;
        view.imageType = step.type;
        view.edTemp = step.name;
        service.publish(view);
        marked = step.marked;
        auto reply = std::async(std::launch::async, [port, &step] {
            return test::LoopbackClient::exchange(port, std::string("GET /") + step.name +
                                                            " HTTP/1.1\r\n\r\n");
        });
        ASSERT_TRUE(waitFor([&] { return ui.size() == 1; }));
        ui.runAll();
        const std::string image = body(reply.get().bytes);
        const QImage decoded = QImage::fromData(reinterpret_cast<const uchar*>(image.data()),
                                                static_cast<int>(image.size()), step.format);
        ASSERT_EQ(decoded.size(), QSize(48, 24)) << step.name << " " << step.marked;
        for (const int x : {30, 31})
            EXPECT_EQ(decoded.pixelColor(x, 7), QColor(x == step.marked ? Qt::red : Qt::green))
                << step.name << " marked " << step.marked << ", column " << x;
    }
    service.stop();
}
