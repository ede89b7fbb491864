#include "web/documents/DocumentNames.h"

namespace flowloom::web {

namespace {

std::optional<std::size_t> extensionStart(std::string_view name)
{
    // A "." before a folder or drive separator belongs to a folder name.
    const std::size_t pos = name.find_last_of(".\\:");
    if (pos == std::string_view::npos || name[pos] != '.') {
        return std::nullopt;
    }
    return pos;
}

NameDecision clash(const NameFields& current, std::string NameFields::*field,
                   const NameFields& remembered, std::string_view message)
{
    NameDecision decision;
    decision.outcome = NameOutcome::Clash;
    decision.fields = current;
    decision.fields.*field = remembered.*field;
    decision.message = message;
    return decision;
}

} // namespace

std::string_view DocumentNames::extension(std::string_view name)
{
    const std::optional<std::size_t> start = extensionStart(name);
    return start ? name.substr(*start) : std::string_view{};
}

std::string DocumentNames::replaceExtension(std::string_view name, std::string_view newExtension)
{
    const std::optional<std::size_t> start = extensionStart(name);
    std::string out(start ? name.substr(0, *start) : name);
    out.append(newExtension);
    return out;
}

std::optional<StatisticsDocument>
DocumentNames::label12Document(std::optional<StatisticsDocument> lastDealtWith,
                               StatisticsSwitches on)
{
    auto published = [&on](StatisticsDocument document) {
        switch (document) {
        case StatisticsDocument::CommaSeparated:
            return on.cbCSV;
        case StatisticsDocument::Formatted:
            return on.cbFormat;
        case StatisticsDocument::Image:
            return on.cbImage;
        }
        return false;
    };
    if (lastDealtWith && published(*lastDealtWith))
        return lastDealtWith;
    for (const StatisticsDocument document :
         {StatisticsDocument::CommaSeparated, StatisticsDocument::Formatted,
          StatisticsDocument::Image})
        if (published(document))
            return document;
    return std::nullopt;
}

const std::string& DocumentNames::nameOf(const NameFields& fields, StatisticsDocument document)
{
    switch (document) {
    case StatisticsDocument::CommaSeparated:
        return fields.edWebStats;
    case StatisticsDocument::Formatted:
        return fields.edFormat;
    case StatisticsDocument::Image:
        break;
    }
    return fields.edImage;
}

std::string DocumentNames::serverAddress(std::string_view host, int port)
{
    std::string out(host);
    out.append(":").append(std::to_string(port));
    return out;
}

std::string DocumentNames::url(std::string_view serverAddress, std::string_view name)
{
    std::string out("http://");
    out.append(serverAddress).append("/").append(name);
    return out;
}

NameDecision DocumentNames::cbCSVClick(const NameFields& current, const NameFields& remembered,
                                       bool imageTicked)
{
    std::string name = replaceExtension(current.edWebStats, kTextExtension);
    if (name == current.edFormat) {
        return clash(current, &NameFields::edWebStats, remembered, kCsvClashMessage);
    }
    NameDecision decision;
    decision.fields = current;
    decision.fields.edWebStats = name;
    decision.label12Name = std::move(name);
    decision.webFontEnabled = imageTicked;
    return decision;
}

NameDecision DocumentNames::edFormatExit(const NameFields& current, const NameFields& remembered)
{
    std::string name = replaceExtension(current.edFormat, kTextExtension);
    if (name == current.edWebStats) {
        return clash(current, &NameFields::edFormat, remembered, kFormatClashMessage);
    }
    NameDecision decision;
    decision.fields = current;
    decision.fields.edFormat = name;
    decision.label12Name = std::move(name);
    return decision;
}

NameDecision DocumentNames::edImageExit(const NameFields& current, const NameFields& remembered,
                                        bool imageTicked, std::string_view imageExtension)
{
    // While the image is not published its name keeps whatever was typed.
    std::string name =
        imageTicked ? replaceExtension(current.edImage, imageExtension) : current.edImage;
    if (name == current.edTemp) {
        return clash(current, &NameFields::edImage, remembered, kImageClashMessage);
    }
    NameDecision decision;
    decision.fields = current;
    decision.fields.edImage = name;
    decision.label12Name = std::move(name);
    decision.webFontEnabled = imageTicked;
    return decision;
}

NameDecision DocumentNames::edTempExit(const NameFields& current, const NameFields& remembered,
                                       std::string_view imageExtension)
{
    std::string name = replaceExtension(current.edTemp, imageExtension);
    std::string image = replaceExtension(current.edImage, extension(name));
    // The statistics image follows the graph image's extension, so a base name
    // shared with it would become the very same name once the extension is
    // carried over; the graph image would then hide the statistics image.
    if (name == current.edImage || name == image) {
        return clash(current, &NameFields::edTemp, remembered, kTempClashMessage);
    }
    NameDecision decision;
    decision.fields = current;
    decision.fields.edTemp = std::move(name);
    decision.fields.edImage = std::move(image);
    return decision;
}

std::string DocumentNames::edTempChange(std::string_view label2Text, std::string_view newTempName)
{
    return replaceExtension(label2Text, extension(newTempName));
}

DocumentNames::HistoryName DocumentNames::edHistoryExit(std::string_view current,
                                                        std::string_view remembered,
                                                        const NameFields& others)
{
    std::string name = replaceExtension(current, kHistoryExtension);
    for (const std::string* other :
         {&others.edWebStats, &others.edFormat, &others.edImage, &others.edTemp}) {
        if (*other == name)
            return {std::string(remembered), std::string(kHistoryClashMessage)};
    }
    return {std::move(name), {}};
}

} // namespace flowloom::web
