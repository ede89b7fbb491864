#pragma once

#include "app/ini/IniStore.h"
#include "app/ini/SettingsValues.h"
#include "sampling/DateTime.h"
#include "sampling/TotalsModel.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flowloom::app {

// One interface row's cumulative totals (unsigned 64-bit, so that they never
// turn negative past 2 GiB) and the times they were last reset.
using sampling::InterfaceTotals;

// The settings file: section "Plotter" of an IniStore, read once at start-up
// and written once at shutdown. The file functions open the file for the one
// operation and release it before returning; the store functions do the same
// work on a store in memory. Start-up applies what load() returns in read
// order, each value to the control or variable its entry names:
//
//     for (const Key key : SettingsKeys::readOrder())
//         apply(SettingsKeys::entry(key), values.get(key));
class SettingsFile
{
public:
    static constexpr std::string_view kSection = "Plotter";

    // The program file's path with its extension replaced by ".ini".
    static std::filesystem::path pathForProgram(const std::filesystem::path& programFile);

    // Every key's value: the stored one when it converts, else its default.
    // A missing or unreadable file gives every default.
    static SettingsValues load(const std::filesystem::path& path, const RuntimeDefaults& runtime);
    // The totals and reset times of rows 0 .. rowCount - 1; a missing or
    // unreadable total is 0, a missing or unreadable reset time, or one more
    // than a day after `now`, is `now`.
    static std::vector<InterfaceTotals> loadTotals(const std::filesystem::path& path,
                                                   std::size_t rowCount,
                                                   const sampling::DateTime& now);
    // Writes "First" as 0, then every key in table order with one row of
    // per-interface keys for each entry of `totals` after "Stay", into the
    // existing file so that everything else in it is kept. The file is
    // replaced whole or not at all; a new file is 0600, and a file holding a
    // password loses the read bits of group and others (IniStore::fileMode).
    // On failure the result carries "Unable to write to <full path>".
    static IniSaveResult save(const std::filesystem::path& path, const SettingsValues& values,
                              const std::vector<InterfaceTotals>& totals);

    static SettingsValues read(const IniStore& store, const RuntimeDefaults& runtime);
    static std::vector<InterfaceTotals> readTotals(const IniStore& store, std::size_t rowCount,
                                                   const sampling::DateTime& now);
    static void write(IniStore& store, const SettingsValues& values,
                      const std::vector<InterfaceTotals>& totals);

    // One value from its stored text (nothing when the key is missing); the
    // key's default when the text does not convert.
    static SettingValue decode(Key key, const std::optional<std::string>& text,
                               const RuntimeDefaults& runtime);
    static std::string encode(Key key, const SettingValue& value);
};

} // namespace flowloom::app
