#include "web/documents/LivePage.h"

#include "web/documents/ApiDocuments.h"
#include "web/documents/JsonWriter.h"
#include "web/documents/LivePageTemplate.h"

namespace flowloom::web {

namespace {

constexpr std::string_view kConfigMark = "/*CONFIG*/";

// JSON inside a <script> element: "<" never appears as itself, so no text of
// a name can close the element.
std::string scriptSafe(std::string json)
{
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        if (c == '<')
            out += "\\u003c";
        else
            out += c;
    }
    return out;
}

} // namespace

std::vector<PublishedDocument> publishedDocuments(const Publication& p)
{
    std::vector<PublishedDocument> out;
    out.push_back({"Graph image", "/" + p.names.edTemp});
    if (p.cbCSV)
        out.push_back({"Comma separated text", "/" + p.names.edWebStats});
    if (p.cbFormat)
        out.push_back({"Formatted text", "/" + p.names.edFormat});
    if (p.cbImage)
        out.push_back({"Statistics image", "/" + p.names.edImage});
    if (p.cbHistory)
        out.push_back({"Usage history", "/" + p.edHistory});
    if (p.cbMetrics)
        out.push_back({"Prometheus metrics", "/metrics"});
    if (p.dataForPage()) {
        out.push_back({"Summary (JSON)", std::string(kSummaryPath)});
        out.push_back({"History (JSON)", std::string(kHistoryPath)});
    }
    if (p.cbJsonApi)
        out.push_back({"Applications (JSON)", std::string(kApplicationsPath)});
    return out;
}

std::string cssColour(std::uint32_t bbggrr)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "#";
    for (const int shift : {0, 8, 16}) {
        const unsigned byte = (bbggrr >> shift) & 0xFFu;
        out += kHex[byte >> 4];
        out += kHex[byte & 0xFu];
    }
    return out;
}

std::string livePageDocument(const GraphColours& colours,
                             const std::vector<PublishedDocument>& documents,
                             const std::vector<LiveSample>& recent)
{
    JsonWriter json;
    json.beginObject();
    json.key("colours").beginObject();
    json.key("download").value(cssColour(colours.download));
    json.key("upload").value(cssColour(colours.upload));
    json.key("background").value(cssColour(colours.background));
    json.key("axes").value(cssColour(colours.axesText));
    json.key("grid").value(cssColour(colours.grid));
    json.endObject();
    json.key("documents").beginArray();
    for (const PublishedDocument& document : documents) {
        json.beginObject();
        json.key("label").value(document.label);
        // Relative, so that the page also works behind a proxy's prefix.
        json.key("path").value(document.path.substr(document.path.starts_with('/') ? 1 : 0));
        json.endObject();
    }
    json.endArray();
    json.key("recent").beginArray();
    for (const LiveSample& sample : recent) {
        json.beginArray();
        json.value(sample.time).value(sample.receivedRate).value(sample.sentRate);
        json.endArray();
    }
    json.endArray();
    json.endObject();

    const std::string config = scriptSafe(json.take());
    std::string page(kLivePageTemplate);
    const std::size_t mark = page.find(kConfigMark);
    if (mark != std::string::npos)
        page.replace(mark, kConfigMark.size(), config);
    return page;
}

} // namespace flowloom::web
