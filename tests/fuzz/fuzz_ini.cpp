// The settings file is outside input: any bytes must parse, give a value of
// the right kind for every key, and survive a save unchanged where the
// program does not write.
#include "app/ini/IniStore.h"
#include "app/ini/SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace flowloom::app;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IniStore store = IniStore::parse(bytes);

    // Serialising is stable: what is written reads back as the same lines.
    const std::string once = store.serialise();
    require(IniStore::parse(once).serialise() == once);

    for (const KeyEntry& e : SettingsKeys::table()) {
        const auto text = store.read(SettingsFile::kSection, e.name);
        require(!text || text->size() <= IniStore::kMaxValueLength);
    }
    const RuntimeDefaults runtime{"folder", 300, 500};
    const flowloom::sampling::DateTime now{2026, 12, 6, 19, 44, 3};
    const SettingsValues values = SettingsFile::read(store, runtime);
    const auto totals = SettingsFile::readTotals(store, 3, now);

    // Writing every key back gives a file that reads as the same values
    // (apart from "First", which a save always clears) and keeps the lines
    // that were there in the same number or more.
    const std::size_t before = store.lineCount();
    SettingsFile::write(store, values, totals);
    require(store.lineCount() >= before);
    const IniStore reread = IniStore::parse(store.serialise());
    SettingsValues again = SettingsFile::read(reread, runtime);
    again.set(Key::First, values.get(Key::First));
    require(again == values);
    require(SettingsFile::readTotals(reread, 3, now) == totals);
    return 0;
}
