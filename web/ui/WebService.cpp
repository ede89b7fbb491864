#include "web/ui/WebService.h"

#include "sampling/UnexpectedException.h"
#include "web/documents/EventDocument.h"
#include "web/documents/MetricsDocument.h"
#include "web/documents/MimeTable.h"
#include "web/documents/StatisticsDocuments.h"
#include "web/server/BlockingWait.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <variant>

// The hash only, compiled in here: no library to link or ship.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace flowloom::web {

namespace {
const std::string kAuthFailedPage =
    "<html><head><title>Error</title></head><body><h1>Authentication failed</h1></body></html>";

std::string notFoundPage(const std::string& statusText)
{
    return "<html><head><title>Error</title></head><body><h1>" + statusText + "</h1></body></html>";
}

// A short reason in plain text, for programs and the people reading their logs.
void refuse(Reply& reply, int code, const std::string& reason)
{
    reply.setStatus(code, code == 503 ? std::string("Service Unavailable")
                                      : std::string(Reply::statusTextFor(code)));
    reply.setContentType("text/plain; charset=utf-8");
    reply.setContentText(reason + "\n");
}

// When a refused event stream may be tried again, in seconds.
constexpr const char* kStreamRetryAfter = "10";

output::ImageView viewOf(const QImage& image)
{
    return output::ImageView{image.constBits(), static_cast<std::size_t>(image.width()),
                             static_cast<std::size_t>(image.height()),
                             static_cast<std::size_t>(image.bytesPerLine()),
                             output::PixelFormat::Bgrx32};
}

// A document that every request for it shares while its view is published:
// written once, at the first request, then sent from the same bytes.
class SharedDocument
{
public:
    template <typename Write> const std::shared_ptr<const Reply::Bytes>& get(Write write) const
    {
        std::call_once(m_once, [&] {
            const std::string text = write();
            m_bytes = std::make_shared<const Reply::Bytes>(text.begin(), text.end());
        });
        return m_bytes;
    }

private:
    mutable std::once_flag m_once;
    mutable std::shared_ptr<const Reply::Bytes> m_bytes;
};

// The content of a shared document; an empty one is sent as empty text, which
// has no Content-Length header, as it always had.
void setSharedContent(Reply& reply, const std::shared_ptr<const Reply::Bytes>& bytes)
{
    if (bytes->empty())
        reply.setContentText({});
    else
        reply.shareContentBytes(bytes);
}

} // namespace

// A published view and the documents written from it for all its requests.
// The documents of one tick are the same bytes for every request, so they are
// written once per tick instead of once per request.
struct WebService::Published
{
    explicit Published(WebSnapshot snapshot) : view(std::move(snapshot)) {}

    WebSnapshot view;
    SharedDocument formatted;
    std::array<SharedDocument, 2> metrics; // by MetricsFormat
};

// What identifies an encoding: the pixels it was made of and its image type.
struct PixelsKey
{
    XXH128_hash_t hash{0, 0};
    int width = 0;
    int height = 0;
    qsizetype bytesPerLine = 0;
    QImage::Format format = QImage::Format_Invalid;
    output::ImageType type = output::ImageType::Jpeg;

    bool operator==(const PixelsKey& other) const
    {
        return XXH128_isEqual(hash, other.hash) && width == other.width && height == other.height &&
               bytesPerLine == other.bytesPerLine && format == other.format && type == other.type;
    }
};

PixelsKey pixelsKey(const QImage& image, output::ImageType type)
{
    return {XXH3_128bits(image.constBits(), static_cast<std::size_t>(image.sizeInBytes())),
            image.width(),
            image.height(),
            image.bytesPerLine(),
            image.format(),
            type};
}

// One rendering on the user-interface thread, the requests that share it, and
// its encodings. Guarded by the hub's mutex, except the pixels, which are
// written once before `finished` and only read after it.
struct RenderJob
{
    struct Encoding
    {
        bool started = false;
        bool finished = false;
        std::shared_ptr<const Reply::Bytes> bytes; // null when encoding failed
    };

    bool started = false;
    bool finished = false;
    bool counted = false; // among the hub's live renderings
    int users = 0;        // requests that still need the pixels
    std::optional<QImage> image;
    std::array<Encoding, 4> encodings; // by image type
};

// Waits of connection threads for the user-interface thread and for each
// other. Shared with the queued calls, which may run after the service is gone.
struct WebService::Hub
{
    std::mutex mutex;
    std::condition_variable done;
    bool stopping = false;
    // A graph rendering queued but not yet begun: requests that arrive before
    // it begins share it, since it shows the graph as it is after they came.
    std::shared_ptr<RenderJob> pendingGraph;
    std::size_t liveRenderings = 0; // queued, or holding pixels
    std::size_t freeEncoders = encodesInFlight();
    // Bytes of the encodings still held, by a rendering or by a reply being
    // sent; the last holder, wherever it lets go, takes them off here. So no
    // reference to an encoding may be dropped with this mutex held.
    std::size_t encodedBytesHeld = 0;
    // The last encodings made, by the pixels they were made of. A rendering
    // whose pixels are the same as one of these (nothing changed on the graph
    // since) is sent the same bytes, which encoding it again would give.
    struct Reusable
    {
        PixelsKey key;
        std::shared_ptr<const Reply::Bytes> kept; // small encodings only
        std::weak_ptr<const Reply::Bytes> held;   // larger ones while a reply holds them
    };
    std::array<Reusable, 2> reusable;
    std::size_t nextReusable = 0;
};

std::size_t WebService::encodesInFlight()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

WebService::WebService(std::function<void(std::function<void()>)> postToUi, WebRenderers renderers)
    : m_postToUi(std::move(postToUi)), m_renderers(std::move(renderers)),
      m_hub(std::make_shared<Hub>()), m_published(std::make_shared<Published>(WebSnapshot{})),
      m_server([this](Connection& connection, const Request& request,
                      Reply& reply) { HTTPServerCommandGet(connection, request, reply); },
               serverOptions())
{}

Publication publicationOf(const WebSnapshot& view)
{
    Publication p;
    p.names = {view.edWebStats, view.edFormat, view.edImage, view.edTemp};
    p.cbCSV = view.cbCSV;
    p.cbFormat = view.cbFormat;
    p.cbImage = view.cbImage;
    p.cbHistory = view.cbHistory && view.historyDocument;
    p.edHistory = view.edHistory;
    p.cbMetrics = view.cbMetrics;
    p.cbJsonApi = view.cbJsonApi;
    p.cbLivePage = view.cbLivePage;
    return p;
}

ServerOptions WebService::serverOptions()
{
    ServerOptions options;
    options.challengeRealm = kRealm;
    return options;
}

WebService::~WebService()
{
    stop();
}

void WebService::publish(WebSnapshot snapshot)
{
    publishEvent(snapshot);
    std::shared_ptr<const Published> next = std::make_shared<Published>(std::move(snapshot));
    std::lock_guard lock(m_snapshotMutex);
    m_published = std::move(next);
}

void WebService::publishEvent(const WebSnapshot& view)
{
    EventStreams& streams = m_server.eventStreams();
    if (!view.servesPageData()) {
        if (m_eventsServed)
            streams.endAll(); // switched off: the open streams end with it
        m_eventsServed = false;
        return;
    }
    m_eventsServed = true;
    if (!view.figures || view.figures == m_lastFigures)
        return; // the same tick, published again for a changed name or switch
    m_lastFigures = view.figures;
    ++m_tick;
    if (m_server.isActive())
        streams.publish(
            std::make_shared<const std::string>(eventText(m_tick, summaryJson(*view.figures))));
}

std::shared_ptr<const WebService::Published> WebService::published() const
{
    std::lock_guard lock(m_snapshotMutex);
    return m_published;
}

std::shared_ptr<const WebSnapshot> WebService::snapshot() const
{
    std::shared_ptr<const Published> current = published();
    const WebSnapshot* view = &current->view;
    return {std::move(current), view};
}

Binding WebService::start(Binding binding)
{
    if (m_server.isActive())
        return *m_server.binding();
    {
        std::lock_guard lock(m_hub->mutex);
        m_hub->stopping = false;
    }
    m_server.clearBinding();
    m_server.setBinding(std::move(binding));
    m_server.start();
    return *m_server.binding();
}

void WebService::stop()
{
    {
        std::lock_guard lock(m_hub->mutex);
        m_hub->stopping = true;
        m_hub->pendingGraph.reset();
    }
    m_hub->done.notify_all();
    try {
        m_server.stop();
    } catch (const HttpServerError&) {
        // The server is inactive either way.
    }
    m_server.clearBinding();
}

std::shared_ptr<RenderJob>
WebService::renderOnUiThread(std::function<std::optional<QImage>()> render, bool shareWithWaiting)
{
    std::shared_ptr<Hub> hub = m_hub;
    std::shared_ptr<RenderJob> job;
    std::unique_lock lock(hub->mutex);
    if (hub->stopping)
        return nullptr;
    if (shareWithWaiting && hub->pendingGraph && !hub->pendingGraph->started) {
        job = hub->pendingGraph;
        ++job->users;
    } else {
        job = std::make_shared<RenderJob>();
        job->users = 1;
        if (shareWithWaiting)
            hub->pendingGraph = job;
        // At most one rendering more than can be encoded at once holds pixels,
        // and none begins while the encodings still being sent fill their
        // budget (slow readers hold theirs for long); requests that come while
        // this one waits for its turn join it.
        {
            const BlockingWait forTheTurn;
            hub->done.wait(lock, [&] {
                return hub->stopping || (hub->liveRenderings <= encodesInFlight() &&
                                         hub->encodedBytesHeld < kEncodedBytesBudget);
            });
        }
        if (hub->stopping) {
            releaseRendering(*job);
            return nullptr;
        }
        ++hub->liveRenderings;
        job->counted = true;
        lock.unlock();
        m_postToUi([hub, job, render = std::move(render)] {
            {
                std::lock_guard guard(hub->mutex);
                if (hub->stopping)
                    return;
                job->started = true;
                if (hub->pendingGraph == job)
                    hub->pendingGraph.reset();
            }
            std::optional<QImage> image;
            try {
                image = render();
            } catch (...) {
                // Answered as a rendering that could not be made.
                sampling::traceUnexpectedException("WebService rendering");
                image.reset();
            }
            {
                std::lock_guard guard(hub->mutex);
                job->image = std::move(image);
                job->finished = true;
            }
            hub->done.notify_all();
        });
        lock.lock();
    }
    {
        const BlockingWait forTheDrawing; // on the user-interface thread
        hub->done.wait(lock, [&] { return job->finished || hub->stopping; });
    }
    if (!job->finished) {
        releaseRendering(*job);
        return nullptr;
    }
    return job;
}

// Called with the hub's mutex held by each request of the job once it needs
// the pixels no more.
void WebService::releaseRendering(RenderJob& job)
{
    if (--job.users > 0)
        return;
    job.image.reset();
    if (job.counted) {
        job.counted = false;
        --m_hub->liveRenderings;
        m_hub->done.notify_all();
    }
}

std::shared_ptr<const Reply::Bytes> WebService::heldEncoding(Reply::Bytes bytes)
{
    std::shared_ptr<Hub> hub = m_hub;
    const std::size_t size = bytes.size();
    {
        std::lock_guard lock(hub->mutex);
        hub->encodedBytesHeld += size;
    }
    // Also called when the pointer itself cannot be made, which throws then.
    auto letGo = [hub, size](const Reply::Bytes* held) {
        delete held;
        {
            std::lock_guard lock(hub->mutex);
            hub->encodedBytesHeld -= size;
        }
        hub->done.notify_all();
    };
    return std::shared_ptr<const Reply::Bytes>(new Reply::Bytes(std::move(bytes)), letGo);
}

std::shared_ptr<const Reply::Bytes> WebService::encodeShared(RenderJob& job, output::ImageType type)
{
    Hub& hub = *m_hub;
    // A reference dropped here may be an encoding's last: never with the mutex held.
    std::shared_ptr<const Reply::Bytes> replaced;
    std::unique_lock lock(hub.mutex);
    RenderJob::Encoding& encoding = job.encodings.at(static_cast<std::size_t>(type));
    if (!encoding.started) {
        encoding.started = true;
        lock.unlock();
        // The pixels stay as they are while the job holds them.
        const PixelsKey key = pixelsKey(*job.image, type);
        lock.lock();
        for (const Hub::Reusable& last : hub.reusable) {
            if (!(last.key == key))
                continue;
            encoding.bytes = last.kept ? last.kept : last.held.lock();
            if (encoding.bytes) {
                encoding.finished = true;
                hub.done.notify_all();
                return encoding.bytes;
            }
        }
        {
            const BlockingWait forAnEncoder;
            hub.done.wait(lock, [&] { return hub.stopping || hub.freeEncoders > 0; });
        }
        if (hub.stopping) {
            encoding.finished = true;
            hub.done.notify_all();
            return nullptr;
        }
        --hub.freeEncoders;
        lock.unlock();
        // Encoding the finished pixels happens here, on the connection's thread.
        std::shared_ptr<const Reply::Bytes> bytes;
        try {
            Reply::Bytes out;
            if (output::encodeToMemory(viewOf(*job.image), type, kWebJpegQuality, out) ==
                output::EncodeError::Ok)
                bytes = heldEncoding(std::move(out));
        } catch (const std::bad_alloc&) {
            bytes.reset(); // answered as an image that could not be encoded
        } catch (...) {
            sampling::traceUnexpectedException("WebService::encodeShared");
            bytes.reset();
        }
        lock.lock();
        ++hub.freeEncoders;
        if (bytes) {
            Hub::Reusable& slot = hub.reusable[hub.nextReusable];
            hub.nextReusable = (hub.nextReusable + 1) % hub.reusable.size();
            replaced = std::move(slot.kept);
            slot = {key, bytes->size() <= kKeptEncodingBytes ? bytes : nullptr, bytes};
        }
        encoding.bytes = std::move(bytes);
        encoding.finished = true;
        hub.done.notify_all();
    } else {
        const BlockingWait forTheEncoding;
        hub.done.wait(lock, [&] { return hub.stopping || encoding.finished; });
        if (!encoding.finished)
            return nullptr;
    }
    if (!encoding.bytes && !hub.stopping)
        throw std::runtime_error("The image could not be encoded.");
    return encoding.bytes;
}

std::shared_ptr<const Reply::Bytes>
WebService::renderImage(std::function<std::optional<QImage>()> render, bool shareWithWaiting,
                        output::ImageType type)
{
    const std::shared_ptr<RenderJob> job = renderOnUiThread(std::move(render), shareWithWaiting);
    if (!job)
        return nullptr;
    // The pixels go as soon as the last request sharing them has its encoding.
    struct Release
    {
        WebService& service;
        RenderJob& job;
        ~Release()
        {
            std::lock_guard lock(service.m_hub->mutex);
            service.releaseRendering(job);
        }
    } release{*this, *job};
    if (!job->image || job->image->isNull())
        return nullptr;
    return encodeShared(*job, type);
}

void WebService::serveImage(std::shared_ptr<const Reply::Bytes> bytes, const std::string& path,
                            Reply& reply)
{
    reply.setContentType(std::string(MimeTable::GetMIMEType(path)));
    // Written by the server after the handler, head and image in one send:
    // the same bytes as two writes, without the second system call and the
    // switch to sending without delay that a second piece needs.
    reply.shareContentBytes(std::move(bytes));
}

void WebService::HTTPServerCommandGet(Connection& connection, const Request& request, Reply& reply)
{
    const std::shared_ptr<const Published> current = published();
    const WebSnapshot* const view = &current->view;
    const std::string& path = request.documentPath();

    const bool malformedRefused = request.credentialsMalformed() && view->credentials.required();
    if (malformedRefused || !view->credentials.accepts(request.userName(), request.password())) {
        reply.setContentText(kAuthFailedPage);
        reply.setRealm(kRealm);
        return;
    }
    if (path == "/" + view->edTemp) {
        std::shared_ptr<const Reply::Bytes> bytes =
            renderImage(m_renderers.graph, true, view->imageType);
        if (!bytes) {
            reply.setStatus(404);
            reply.setContentText("<html><head><title>Error</title></head><body><h1>404 - Not "
                                 "Found</h1><p><b>Flowloom</b> is unable to locate \"" +
                                 path + "\"</body></html>");
            return;
        }
        serveImage(std::move(bytes), path, reply);
        return;
    }
    if (view->cbCSV && path == "/" + view->edWebStats) {
        reply.setContentType(std::string(MimeTable::GetMIMEType(path)));
        reply.setContentText(StatisticsDocuments::commaSeparated(view->statistics));
        return;
    }
    if (view->cbFormat && path == "/" + view->edFormat) {
        reply.setContentType(std::string(MimeTable::GetMIMEType(path)));
        setSharedContent(reply, current->formatted.get([view] {
            return StatisticsDocuments::formatted(view->statistics);
        }));
        return;
    }
    if (view->cbImage && path == "/" + view->edImage) {
        const std::string text = StatisticsDocuments::formatted(view->statistics);
        std::shared_ptr<const Reply::Bytes> bytes =
            renderImage([render = m_renderers.statistics, text] { return render(text); }, false,
                        view->imageType);
        if (!bytes) // the layer answers 500 with this text
            throw std::runtime_error("The statistics image could not be created.");
        serveImage(std::move(bytes), path, reply);
        return;
    }
    // After the four documents, so that none of their replies changes.
    if (view->cbHistory && path == "/" + view->edHistory && view->historyDocument) {
        std::optional<std::string> document = view->historyDocument();
        if (!document) {
            // Locked by another program, or not recorded: never an empty history.
            reply.setStatus(503, "Service Unavailable");
            reply.setContentText(notFoundPage(reply.statusText()));
            return;
        }
        reply.setContentType(std::string(MimeTable::GetMIMEType(path)));
        reply.setContentText(std::move(*document));
        return;
    }
    if (view->cbLivePage && path == kLivePagePath) {
        reply.setContentType("text/html; charset=utf-8");
        reply.setContentText(
            livePageDocument(view->graphColours, publishedDocuments(publicationOf(*view)),
                             view->recentTicks ? *view->recentTicks : std::vector<LiveSample>{}));
        return;
    }
    if (view->servesPageData() && path == kEventsPath) {
        serveEvents(connection, request, reply);
        return;
    }
    if (serveForPrograms(*current, request, reply))
        return;
    reply.setStatus(404);
    reply.setContentText(notFoundPage(reply.statusText()));
}

bool WebService::serveForPrograms(const Published& published, const Request& request, Reply& reply)
{
    const WebSnapshot& view = published.view;
    const std::string& path = request.documentPath();
    const bool metrics = view.cbMetrics && path == "/metrics";
    const bool summary = view.servesPageData() && path == kSummaryPath;
    const bool history = view.servesPageData() && path == kHistoryPath;
    const bool applications = view.cbJsonApi && path == kApplicationsPath;
    if (!metrics && !summary && !history && !applications)
        return false;
    if (!view.figures) {
        refuse(reply, 503, "no figures yet: the first tick has not come");
        return true;
    }
    if (metrics) {
        const MetricsFormat format = metricsFormatFor(request.header("Accept").value_or(""));
        reply.setContentType(std::string(metricsContentType(format)));
        setSharedContent(reply, published.metrics.at(static_cast<std::size_t>(format)).get([&] {
            return metricsDocument(*view.figures, format);
        }));
        return true;
    }
    if (summary) {
        reply.setContentType("application/json");
        reply.setContentText(summaryJson(*view.figures));
        return true;
    }
    if (applications) {
        if (!view.figures->applications) {
            refuse(reply, 503,
                   "no figures per application: the usage history is not kept, or no tick "
                   "has come since the JSON API was switched on");
            return true;
        }
        reply.setContentType("application/json");
        reply.setContentText(applicationsJson(view.figures->version, view.figures->time,
                                              *view.figures->applications));
        return true;
    }
    auto parsed = parseHistoryQuery(request.query());
    if (const std::string* reason = std::get_if<std::string>(&parsed)) {
        refuse(reply, 400, *reason);
        return true;
    }
    const HistoryQuery& query = std::get<HistoryQuery>(parsed);
    if (!view.historySource) {
        refuse(reply, 503, "the usage history is not kept");
        return true;
    }
    const HistoryAnswer answer =
        view.historySource(query.interface, query.firstDay(), query.lastDay());
    switch (answer.outcome) {
    case HistoryAnswer::Outcome::UnknownInterface:
        refuse(reply, 404, "no interface named " + jsonString(query.interface));
        return true;
    case HistoryAnswer::Outcome::Unavailable:
        refuse(reply, 503, "the usage history file cannot be read now");
        return true;
    case HistoryAnswer::Outcome::Found:
        break;
    }
    reply.setContentType("application/json");
    reply.setContentText(
        historyJson(view.figures->version, query, answer.address,
                    query.granularity == Granularity::Month ? monthsOf(answer.days) : answer.days));
    return true;
}

void WebService::serveEvents(Connection& connection, const Request& request, Reply& reply)
{
    EventStreams& streams = m_server.eventStreams();
    EventStreams::Place place = streams.reserve(connection.remoteAddress());
    if (!place.held()) {
        switch (place.refusal()) {
        case EventStreams::Refusal::ClientFull:
            refuse(reply, 503,
                   "too many event streams from this address; poll " + std::string(kSummaryPath) +
                       " instead, or try again later");
            break;
        case EventStreams::Refusal::ServerFull:
            refuse(reply, 503,
                   "too many event streams; poll " + std::string(kSummaryPath) +
                       " instead, or try again later");
            break;
        case EventStreams::Refusal::NotRunning:
        case EventStreams::Refusal::None:
            refuse(reply, 503, "the server is stopping");
            break;
        }
        reply.addHeader("Retry-After", kStreamRetryAfter);
        return;
    }
    reply.setContentType(std::string(kEventStreamType));
    reply.addHeader("Cache-Control", "no-store");
    reply.writeHeader();
    if (request.method() == "HEAD")
        return;
    // Out of descriptors, the reader gets the head and an ended stream, and
    // comes back after the retry pause.
    sampling::UniqueFd copy = connection.duplicateSocket();
    if (copy.valid())
        streams.adopt(std::move(place), std::move(copy), std::string(kEventStreamPrelude));
}

} // namespace flowloom::web
