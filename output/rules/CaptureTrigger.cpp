#include "output/rules/CaptureTrigger.h"

#include <filesystem>
#include <system_error>

namespace flowloom::output {

bool CaptureTrigger::due(std::int32_t captureCount, int pointsPerPage, bool folderExists,
                         bool captureChecked)
{
    return captureCount >= pointsPerPage && folderExists && captureChecked;
}

bool CaptureTrigger::folderExists(std::string_view folderText)
{
    if (folderText.empty())
        return false;
    std::error_code error; // an unreadable path counts as missing, never throws
    return std::filesystem::is_directory(std::filesystem::path(folderText), error);
}

} // namespace flowloom::output
