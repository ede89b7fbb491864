#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flowloom::web {

// The texts of the four name fields of the "Web Server" tab, as the window
// reads them (their first-run names are the settings' defaults).
struct NameFields
{
    std::string edWebStats; // comma-separated document
    std::string edFormat;   // formatted document
    std::string edImage;    // statistics image
    std::string edTemp;     // web graph image
};

// The three statistics documents of the "Statistics on the Web" group.
enum class StatisticsDocument { CommaSeparated, Formatted, Image };

// Which of them are ticked ("Comma separated text", "Formatted text", "Image").
struct StatisticsSwitches
{
    bool cbCSV = false;
    bool cbFormat = false;
    bool cbImage = false;
};

enum class NameOutcome {
    Accepted, // the fields hold the adjusted names
    Clash,    // the edited field is back at its remembered name; show message
};

// What one name reaction does to the tab.
struct NameDecision
{
    NameOutcome outcome = NameOutcome::Accepted;
    NameFields fields;   // all four texts after the reaction
    std::string message; // the clash message, empty when accepted
    // The document whose URL Label12 now shows, when the reaction changes it.
    std::optional<std::string> label12Name;
    // btnWebFont's enabled state, when the reaction sets it.
    std::optional<bool> webFontEnabled;
};

// The rules that keep the four published names apart and give each the
// extension of what it serves. Pure: the window passes the field texts in and
// writes the decision back.
class DocumentNames
{
public:
    static constexpr std::string_view kCsvClashMessage =
        "The 'Comma separated text' filename cannot be the same as the\r\n"
        "'Formatted text' filename.";
    static constexpr std::string_view kFormatClashMessage =
        "The 'Formatted text' filename cannot be the same as the\r\n"
        "'Comma separated text' filename.";
    static constexpr std::string_view kImageClashMessage =
        "The stats image cannot have the same filename as the Web graph image!";
    static constexpr std::string_view kTempClashMessage =
        "The Web graph image cannot have the same filename as the stats image!";
    static constexpr std::string_view kTextExtension = ".txt";
    static constexpr std::string_view kHistoryClashMessage =
        "The 'Usage history' filename cannot be the same as the filename of another document.";
    static constexpr std::string_view kHistoryExtension = ".csv";

    // The extension is the part from the last "." on, provided no "\" or ":"
    // follows that "."; otherwise the name has none (empty result).
    static std::string_view extension(std::string_view name);
    // Replaces the extension, or appends the new one when there is none; an
    // empty new extension removes it.
    static std::string replaceExtension(std::string_view name, std::string_view newExtension);

    // The statistics document whose address Label12 shows: the one the user
    // dealt with last while it is published, else the first published one in
    // the group's order; none while none is published. An address that would
    // answer "Not Found" is never shown.
    static std::optional<StatisticsDocument>
    label12Document(std::optional<StatisticsDocument> lastDealtWith, StatisticsSwitches on);
    static const std::string& nameOf(const NameFields& fields, StatisticsDocument document);

    // "%s:%d" of the running binding.
    static std::string serverAddress(std::string_view host, int port);
    // "http://" + server address + "/" + name.
    static std::string url(std::string_view serverAddress, std::string_view name);

    // Leaving edWebStats, or a click on "Comma separated text", "Formatted
    // text" or "Image".
    static NameDecision cbCSVClick(const NameFields& current, const NameFields& remembered,
                                   bool imageTicked);
    // Leaving edFormat.
    static NameDecision edFormatExit(const NameFields& current, const NameFields& remembered);
    // Leaving edImage. imageExtension: the selected image type's extension
    // (".bmp", ".jpg", ".gif" or ".png").
    static NameDecision edImageExit(const NameFields& current, const NameFields& remembered,
                                    bool imageTicked, std::string_view imageExtension);
    // Leaving edTemp, or an image type becoming selected.
    static NameDecision edTempExit(const NameFields& current, const NameFields& remembered,
                                   std::string_view imageExtension);
    // Label2's text after edTemp changed: only its extension follows the new
    // name, so a new image type shows at once and a new base name at the
    // next start.
    static std::string edTempChange(std::string_view label2Text, std::string_view newTempName);

    // Leaving the usage history document's name: it takes ".csv"; a name
    // equal to one of the four others' is refused, the remembered one comes
    // back and the message says why (empty when accepted).
    struct HistoryName
    {
        std::string name;
        std::string message;
    };
    static HistoryName edHistoryExit(std::string_view current, std::string_view remembered,
                                     const NameFields& others);
};

} // namespace flowloom::web
