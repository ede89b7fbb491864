#pragma once

#include "output/encoders/ImageType.h"
#include "web/documents/ApiDocuments.h"
#include "web/documents/CredentialCheck.h"
#include "web/documents/Figures.h"
#include "web/documents/LivePage.h"
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

struct RenderJob;

// Everything a request reads of the window, as one consistent value that the
// user-interface thread publishes whenever it changes (every shown tick, every
// change of a name, switch, credential or image type). Connection threads
// read it without waiting, and each document shows the figures of one tick.
// Names are empty and documents off until the window publishes its controls,
// which it does before the server starts.
struct WebSnapshot
{
    StatisticsView statistics;
    std::string edTemp;
    std::string edWebStats;
    std::string edFormat;
    std::string edImage;
    bool cbCSV = false;
    bool cbFormat = false;
    bool cbImage = false;
    CredentialCheck credentials;
    output::ImageType imageType = output::ImageType::Jpeg;
    // The usage history document of the interface the graph shows (opt-in).
    bool cbHistory = false;
    std::string edHistory;
    // Builds the document on the connection's thread from the history file
    // and what the window still holds in memory; copied with the view.
    // Nothing while the history file is unavailable (the reply is 503).
    std::function<std::optional<std::string>()> historyDocument;
    // The documents for other programs (opt-in): /metrics and the JSON API,
    // from the figures of the tick; none before the first tick.
    bool cbMetrics = false;
    bool cbJsonApi = false;
    // The live page at "/". Its data (summary.json, history.json and the
    // event stream) is served while either switch is on.
    bool servesPageData() const { return cbJsonApi || cbLivePage; }
    std::shared_ptr<const Figures> figures;
    // The history rows of history.json, read on the connection's thread.
    HistorySource historySource;
    // The live page at "/" (on unless switched off); summary.json and
    // history.json are served for it too.
    bool cbLivePage = false;
    GraphColours graphColours;
    // The graph's last ticks, so that the page opens with the last minutes.
    std::shared_ptr<const std::vector<LiveSample>> recentTicks;
};

// Everything the server publishes under the switches of a view.
Publication publicationOf(const WebSnapshot& view);

// The renderings that only the user-interface thread may make. Each returns a
// fresh image, or nothing when none can be made.
struct WebRenderers
{
    std::function<std::optional<QImage>()> graph;
    std::function<std::optional<QImage>(const std::string& formattedText)> statistics;
};

// The web service: the HTTP server with the request dispatch, the published
// snapshot and the hand-over of renderings to the user-interface thread.
//
// Each tick's figures (a new Figures in a published snapshot) become one event
// of the event stream, numbered from 1 in the order published and serialised
// once for every stream; the stream's connections leave the workers
// (EventStreams).
//
// Memory of image replies is bounded by design, whatever the clients do:
// requests that share one rendering share its pixels and one immutable,
// reference-counted encoding per image type, and every reply sends from it;
// at most kEncodesInFlight encodings run at once (others wait their turn), and
// at most one rendering more than that holds its pixels (a new rendering waits
// for one to be released, and requests arriving meanwhile join it). Slow
// readers hold an encoding for as long as they read, so renderings that each
// served a few of them would pile up their encodings: a new rendering also
// waits while the encodings still held reach kEncodedBytesBudget, and the
// requests arriving meanwhile share it. (The budget is passed by at most the
// encodings begun before it was reached.) A rendering whose pixels and type are
// those of one of the last two encodings is sent that encoding's bytes: the
// graph changes once a tick, and repeated requests between ticks are not
// encoded again.
class WebService
{
public:
    static constexpr const char* kRealm = "Flowloom Web Service";
    static constexpr int kWebJpegQuality = 80;
    // Five 2000 x 2000 BMP images; thousands of the usual JPEG ones.
    static constexpr std::size_t kEncodedBytesBudget = 64u << 20;
    // The last encodings are kept for renderings of the same pixels up to this
    // size (a usual JPEG is tens of kilobytes); larger ones only while a reply
    // still holds them.
    static constexpr std::size_t kKeptEncodingBytes = 1u << 20;
    // Encodings running at once: one per core.
    static std::size_t encodesInFlight();

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
    struct Published;
    // The layer's bounds, with this service's realm for its own challenges.
    static ServerOptions serverOptions();
    // Has the user-interface thread render and waits for it. A shared graph
    // rendering serves every request that arrived before it began. Empty when
    // the service stops meanwhile.
    std::shared_ptr<RenderJob> renderOnUiThread(std::function<std::optional<QImage>()> render,
                                                bool shareWithWaiting);
    // The rendering encoded as `type`, once for all requests that share it;
    // null when the service stops meanwhile. Throws when it cannot be encoded.
    std::shared_ptr<const Reply::Bytes> encodeShared(RenderJob& job, output::ImageType type);
    // Encoded bytes, counted in the budget for as long as anyone holds them.
    std::shared_ptr<const Reply::Bytes> heldEncoding(Reply::Bytes bytes);
    void releaseRendering(RenderJob& job);
    // Rendered and encoded; null when nothing could be rendered or the service stops.
    std::shared_ptr<const Reply::Bytes> renderImage(std::function<std::optional<QImage>()> render,
                                                    bool shareWithWaiting, output::ImageType type);
    void serveImage(std::shared_ptr<const Reply::Bytes> bytes, const std::string& path,
                    Reply& reply);
    // /metrics and the JSON API; false when the path is none of theirs.
    static bool serveForPrograms(const Published& published, const Request& request, Reply& reply);
    // The event stream: its head, then the connection goes to the streams'
    // thread; or a refusal beyond the bounds.
    void serveEvents(Connection& connection, const Request& request, Reply& reply);
    // The user-interface thread's part of the events: one per new Figures.
    void publishEvent(const WebSnapshot& view);

    std::function<void(std::function<void()>)> m_postToUi;
    WebRenderers m_renderers;
    std::shared_ptr<Hub> m_hub;
    std::shared_ptr<const Published> published() const;

    mutable std::mutex m_snapshotMutex;
    std::shared_ptr<const Published> m_published;
    HttpServer m_server;
    // The publisher's (user-interface thread's) own.
    std::shared_ptr<const Figures> m_lastFigures;
    std::uint64_t m_tick = 0;
    bool m_eventsServed = false;
};

} // namespace flowloom::web
