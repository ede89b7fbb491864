#include "web/ui/WebService.h"

#include "web/documents/MimeTable.h"
#include "web/documents/StatisticsDocuments.h"

#include <stdexcept>

namespace flowloom::web {

namespace {
const std::string kAuthFailedPage =
    "<html><head><title>Error</title></head><body><h1>Authentication failed</h1></body></html>";

std::string notFoundPage(const std::string& statusText)
{
    return "<html><head><title>Error</title></head><body><h1>" + statusText + "</h1></body></html>";
}

output::ImageView viewOf(const QImage& image)
{
    return output::ImageView{image.constBits(), static_cast<std::size_t>(image.width()),
                             static_cast<std::size_t>(image.height()),
                             static_cast<std::size_t>(image.bytesPerLine()),
                             output::PixelFormat::Bgrx32};
}
} // namespace

// One rendering on the user-interface thread and the requests waiting for it.
struct RenderJob
{
    bool started = false;
    bool finished = false;
    std::optional<QImage> image;
};

// Waits of connection threads for the user-interface thread. Shared with the
// queued calls, which may run after the service is gone.
struct WebService::Hub
{
    std::mutex mutex;
    std::condition_variable done;
    bool stopping = false;
    // A graph rendering queued but not yet begun: requests that arrive before
    // it begins share it, since it shows the graph as it is after they came.
    std::shared_ptr<RenderJob> pendingGraph;
};

WebService::WebService(std::function<void(std::function<void()>)> postToUi, WebRenderers renderers)
    : m_postToUi(std::move(postToUi)), m_renderers(std::move(renderers)),
      m_hub(std::make_shared<Hub>()), m_snapshot(std::make_shared<WebSnapshot>()),
      m_server([this](Connection& connection, const Request& request, Reply& reply) {
          HTTPServerCommandGet(connection, request, reply);
      })
{}

WebService::~WebService()
{
    stop();
}

void WebService::publish(WebSnapshot snapshot)
{
    auto next = std::make_shared<const WebSnapshot>(std::move(snapshot));
    std::lock_guard lock(m_snapshotMutex);
    m_snapshot = std::move(next);
}

std::shared_ptr<const WebSnapshot> WebService::snapshot() const
{
    std::lock_guard lock(m_snapshotMutex);
    return m_snapshot;
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

std::optional<QImage> WebService::renderOnUiThread(std::function<std::optional<QImage>()> render,
                                                   bool shareWithWaiting)
{
    std::shared_ptr<Hub> hub = m_hub;
    std::shared_ptr<RenderJob> job;
    bool queue = true;
    {
        std::lock_guard lock(hub->mutex);
        if (hub->stopping)
            return std::nullopt;
        if (shareWithWaiting && hub->pendingGraph && !hub->pendingGraph->started) {
            job = hub->pendingGraph;
            queue = false;
        } else {
            job = std::make_shared<RenderJob>();
            if (shareWithWaiting)
                hub->pendingGraph = job;
        }
    }
    if (queue) {
        m_postToUi([hub, job, render = std::move(render)] {
            {
                std::lock_guard lock(hub->mutex);
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
                image.reset();
            }
            {
                std::lock_guard lock(hub->mutex);
                job->image = std::move(image);
                job->finished = true;
            }
            hub->done.notify_all();
        });
    }
    std::unique_lock lock(hub->mutex);
    hub->done.wait(lock, [&] { return job->finished || hub->stopping; });
    if (!job->finished)
        return std::nullopt;
    return job->image; // shared pixels; each request encodes into its own buffer
}

void WebService::serveImage(const QImage& image, output::ImageType type, const std::string& path,
                            Reply& reply)
{
    // Encoding the finished pixels happens here, on the connection's thread.
    std::vector<std::uint8_t> bytes;
    const output::EncodeError error =
        output::encodeToMemory(viewOf(image), type, kWebJpegQuality, bytes);
    if (error != output::EncodeError::Ok)
        throw std::runtime_error("The image could not be encoded.");
    reply.setContentType(std::string(MimeTable::GetMIMEType(path)));
    reply.setContentBytes(std::move(bytes));
    reply.writeHeader();
    reply.writeContent();
}

void WebService::HTTPServerCommandGet(Connection&, const Request& request, Reply& reply)
{
    const std::shared_ptr<const WebSnapshot> view = snapshot();
    const std::string& path = request.documentPath();

    const bool malformedRefused = request.credentialsMalformed() && view->credentials.required();
    if (malformedRefused || !view->credentials.accepts(request.userName(), request.password())) {
        reply.setContentText(kAuthFailedPage);
        reply.setRealm(kRealm);
        return;
    }
    if (path == "/" + view->edTemp) {
        const std::optional<QImage> image = renderOnUiThread(m_renderers.graph, true);
        if (!image || image->isNull()) {
            reply.setStatus(404);
            reply.setContentText("<html><head><title>Error</title></head><body><h1>404 - Not "
                                 "Found</h1><p><b>Flowloom</b> is unable to locate \"" +
                                 path + "\"</body></html>");
            return;
        }
        serveImage(*image, view->imageType, path, reply);
        return;
    }
    if (view->cbCSV && path == "/" + view->edWebStats) {
        reply.setContentType(std::string(MimeTable::GetMIMEType(path)));
        reply.setContentText(StatisticsDocuments::commaSeparated(view->statistics));
        return;
    }
    if (view->cbFormat && path == "/" + view->edFormat) {
        reply.setContentType(std::string(MimeTable::GetMIMEType(path)));
        reply.setContentText(StatisticsDocuments::formatted(view->statistics));
        return;
    }
    if (view->cbImage && path == "/" + view->edImage) {
        const std::string text = StatisticsDocuments::formatted(view->statistics);
        const std::optional<QImage> image = renderOnUiThread(
            [render = m_renderers.statistics, text] { return render(text); }, false);
        if (!image || image->isNull()) // the layer answers 500 with this text
            throw std::runtime_error("The statistics image could not be created.");
        serveImage(*image, view->imageType, path, reply);
        return;
    }
    // After the four documents, so that none of their replies changes.
    if (view->cbHistory && path == "/" + view->edHistory && view->historyDocument) {
        reply.setContentType(std::string(MimeTable::GetMIMEType(path)));
        reply.setContentText(view->historyDocument());
        return;
    }
    reply.setStatus(404);
    reply.setContentText(notFoundPage(reply.statusText()));
}

} // namespace flowloom::web
