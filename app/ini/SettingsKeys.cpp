#include "app/ini/SettingsKeys.h"

#include <algorithm>

namespace flowloom::app {

std::optional<Key> SettingsKeys::find(std::string_view name)
{
    for (const KeyEntry& e : table()) {
        if (keytable::sameName(e.name, name))
            return e.key;
    }
    return std::nullopt;
}

std::string SettingsKeys::interfaceKeyName(InterfaceKey key, std::size_t row)
{
    return std::string(interfaceKeys()[static_cast<std::size_t>(key)].word) + std::to_string(row);
}

std::int64_t SettingsKeys::limitToRange(Key key, std::int64_t value)
{
    const KeyEntry& e = entry(key);
    if (!e.limited || e.control == Control::ListIndex)
        return value;
    return std::clamp<std::int64_t>(value, e.minimum, e.maximum);
}

int SettingsKeys::listSelection(std::int64_t index, int count)
{
    return index >= 0 && index < count ? static_cast<int>(index) : -1;
}

} // namespace flowloom::app
