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
        if (isForbidden(static_cast<unsigned char>(c)))
            c = '_';
    return safe;
}

std::string CaptureFileName::numbered(std::string_view name, int n)
{
    if (n <= 1)
        return std::string(name);
    const std::size_t folderEnd = name.find_last_of(kSeparator);
    const std::size_t fileStart = folderEnd == std::string_view::npos ? 0 : folderEnd + 1;
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < fileStart)
        dot = name.size();
    return std::string(name.substr(0, dot)) + "-" + std::to_string(n) +
           std::string(name.substr(dot));
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
