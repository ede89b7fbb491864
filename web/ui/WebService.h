#pragma once

#include "output/encoders/ImageType.h"
#include "web/documents/CredentialCheck.h"
#include "web/documents/StatisticsView.h"
#include "web/server/HttpServer.h"

#include <QImage>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace flowloom::web {

// Everything a request reads of the window, as one consistent value that the
// user-interface thread publishes whenever it changes (every shown tick, every
// change of a name, switch, credential or image type). Connection threads
// read it without waiting, and each document shows the figures of one tick.
struct WebSnapshot
{
    StatisticsView statistics;
    std::string edTemp = "flowloom.jpg";
    std::string edWebStats = "netstats.txt";
    std::string edFormat = "formatted.txt";
    std::string edImage = "netstats.jpg";
    bool cbCSV = false;
    bool cbFormat = true;
    bool cbImage = false;
    CredentialCheck credentials;
    output::ImageType imageType = output::ImageType::Jpeg;
    // The usage history document of the interface the graph shows (opt-in).
    bool cbHistory = false;
    std::string edHistory = "history.csv";
    // Builds the document on the connection's thread from the history file
    // and what the window still holds in memory; copied with the view.
    std::function<std::string()> historyDocument;
};

// The renderings that only the user-interface thread may make. Each returns a
// fresh image, or nothing when none can be made.
struct WebRenderers
{
    std::function<std::optional<QImage>()> graph;
    std::function<std::optional<QImage>(const std::string& formattedText)> statistics;
};

// The web service: the HTTP server with the request dispatch, the published
// snapshot and the hand-over of renderings to the user-interface thread.
class WebService
{
public:
    static constexpr const char* kRealm = "Flowloom Web Service";
    static constexpr int kWebJpegQuality = 80;

    // postToUi queues a call on the user-interface thread without waiting.
    WebService(std::function<void(std::function<void()>)> postToUi, WebRenderers renderers);
    ~WebService();
    WebService(const WebService&) = delete;
    WebService& operator=(const WebService&) = delete;

    void publish(WebSnapshot snapshot);
    std::shared_ptr<const WebSnapshot> snapshot() const;

    // Binds and listens; returns the bound binding. Throws HttpServerError.
    Binding start(Binding binding);
    // Stops the server and discards its binding. Requests waiting for the
    // user-interface thread are released first, so stopping never waits on itself.
    void stop();
    bool isActive() const { return m_server.isActive(); }

    // The request dispatch; runs on the connection's thread.
    void HTTPServerCommandGet(Connection& connection, const Request& request, Reply& reply);

private:
    struct Hub;
    // Has the user-interface thread render and waits for it. A shared graph
    // rendering serves every request that arrived before it began.
    std::optional<QImage> renderOnUiThread(std::function<std::optional<QImage>()> render,
                                           bool shareWithWaiting);
    void serveImage(const QImage& image, output::ImageType type, const std::string& path,
                    Reply& reply);

    std::function<void(std::function<void()>)> m_postToUi;
    WebRenderers m_renderers;
    std::shared_ptr<Hub> m_hub;
    mutable std::mutex m_snapshotMutex;
    std::shared_ptr<const WebSnapshot> m_snapshot;
    HttpServer m_server;
};

} // namespace flowloom::web
