#include "app/Environment.h"

namespace flowloom::app {

std::filesystem::path besideProgram(const std::filesystem::path& programFile, const char* extension)
{
    std::filesystem::path path = programFile;
    path.replace_extension(extension);
    return path;
}

std::filesystem::path settingsPathFor(const std::filesystem::path& programFile)
{
    return besideProgram(programFile, ".ini");
}

} // namespace flowloom::app
