#pragma once

#include "output/encoders/ImageType.h"
#include "sampling/DateTime.h"

#include <string>
#include <string_view>

namespace flowloom::output {

// The name of a captured image: capture folder, axis label, time stamp and the
// image type's extension, e.g. "/data/graphs/Traffic-2026Dec06-1944.jpg".
class CaptureFileName
{
public:
    // The nine characters that no file name can hold. The label presets of the
    // units choice ("KBytes / sec") contain one, so a label taken unchanged
    // would name a file in a folder that does not exist and, with the default
    // settings, no capture could ever be written.
    static constexpr std::string_view kForbidden = "\"*/:<>?\\|";

    // Whether a character (a Unicode code point) is one of the nine. Typing
    // refuses them in the axis label; a capture name replaces them.
    static constexpr bool isForbidden(char32_t c)
    {
        return c < 0x80 && kForbidden.find(static_cast<char>(c)) != std::string_view::npos;
    }

    // folder and label are UTF-8 texts as the user typed them.
    //
    // The folder gets a separator unless it already ends with one. On Windows
    // "\" and "/" both count; elsewhere only "/" does, since "\" is an ordinary
    // character of a file name there: a folder text ending in "\" names a
    // folder whose name ends in "\", and the folder-exists test looks at that
    // same folder, so the file must go inside it and "/" is appended. Keeping
    // the "\" as the separator would put the image beside that folder, in its
    // parent, under a name starting with the folder's.
    static std::string build(std::string_view folder, std::string_view label,
                             const sampling::DateTime& now, ImageType type);

    // The label with each forbidden character replaced by "_". Only ASCII bytes
    // are replaced, so UTF-8 sequences pass unchanged.
    static std::string safeLabel(std::string_view label);

    // Whether the folder text already ends with a path separator.
    static bool endsWithSeparator(std::string_view folder);

    // The n-th name for one capture name, so that a second capture within the
    // same minute never replaces the first: n = 1 is the name itself, then
    // "-2", "-3", ... before the extension ("Traffic-2026Dec06-1944-2.jpg").
    static std::string numbered(std::string_view name, int n);
};

} // namespace flowloom::output
