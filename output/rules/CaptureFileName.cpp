#include "output/rules/CaptureFileName.h"

#include "sampling/DateTimeText.h"

namespace flowloom::output {

namespace {
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif
} // namespace

std::string CaptureFileName::build(std::string_view folder, std::string_view label,
                                   const sampling::DateTime& now, ImageType type)
{
    std::string name(folder);
    if (!endsWithSeparator(folder))
        name += kSeparator;
    name += safeLabel(label);
    name += sampling::DateTimeText::captureStamp(now);
    name += extensionOf(type);
    return name;
}

std::string CaptureFileName::safeLabel(std::string_view label)
{
    std::string safe(label);
    for (char& c : safe)
        if (kForbidden.find(c) != std::string_view::npos)
            c = '_';
    return safe;
}

bool CaptureFileName::endsWithSeparator(std::string_view folder)
{
    if (folder.empty())
        return false;
#ifdef _WIN32
    return folder.back() == '/' || folder.back() == '\\';
#else
    return folder.back() == '/';
#endif
}

} // namespace flowloom::output
