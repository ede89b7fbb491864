#pragma once

#include "web/documents/DocumentNames.h"
#include "web/documents/EventDocument.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flowloom::web {

// The live page at "/": one self-contained HTML document (inline style and
// script) that draws the last minutes, the figures, the billing period and
// the history from the JSON API, updating itself from the event stream or,
// where there is none, by asking for summary.json each second.
inline constexpr std::string_view kLivePagePath = "/";

// The graph's colours as the settings keep them (0x00BBGGRR).
struct GraphColours
{
    std::uint32_t download = 0;
    std::uint32_t upload = 0;
    std::uint32_t background = 0;
    std::uint32_t axesText = 0;
    std::uint32_t grid = 0;
};

// One tick of the graph the page starts with.
struct LiveSample
{
    std::int64_t time = 0; // seconds since 1970 UTC
    std::uint64_t receivedRate = 0;
    std::uint64_t sentRate = 0;
};

// The switches and names of everything the server publishes.
struct Publication
{
    NameFields names;
    bool cbCSV = false;
    bool cbFormat = false;
    bool cbImage = false;
    bool cbHistory = false;
    std::string edHistory;
    bool cbMetrics = false;
    bool cbJsonApi = false;
    bool cbLivePage = false;

    // summary.json, history.json and the event stream feed the page, so
    // either switch publishes them.
    bool dataForPage() const { return cbJsonApi || cbLivePage; }
};

struct PublishedDocument
{
    std::string label;
    std::string path; // from the server's root, "/" first
};

// What answers on the server now, in the order of the Setup page: the graph
// image (always), the three statistics documents and the usage history while
// ticked, then /metrics and the JSON API.
std::vector<PublishedDocument> publishedDocuments(const Publication& publication);

// "#rrggbb" of a settings colour.
std::string cssColour(std::uint32_t bbggrr);

// The page with the user's colours, the published documents and the graph's
// recent ticks filled in.
std::string livePageDocument(const GraphColours& colours,
                             const std::vector<PublishedDocument>& documents,
                             const std::vector<LiveSample>& recent);

} // namespace flowloom::web
