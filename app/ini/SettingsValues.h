#pragma once

#include "app/ini/SettingsKeys.h"
#include "app/ini/ValueCodec.h"
#include "sampling/DateTime.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace flowloom::app {

// A font style as its bits (FontStyleBit), kept apart from plain integers.
struct FontStyleBits
{
    int bits = 0;

    bool operator==(const FontStyleBits&) const = default;
};

// One setting's value; the alternative follows the key's ValueType:
// Bool → bool; Int → int64; Text, TitleText, ScrambledText → string (the
// title with its spaces, the password in plain bytes); Colour → Colour;
// FontStyle → FontStyleBits; DateTime → DateTime.
using SettingValue =
    std::variant<bool, std::int64_t, std::string, Colour, FontStyleBits, sampling::DateTime>;

// Defaults that depend on the running program.
struct RuntimeDefaults
{
    std::string filesFolder; // FileLocations::filesFolder, no trailing separator
    int graphHeight = 0;
    int graphWidth = 0;
};

// The reset-time picker's date: loading replaces only its time of day, so
// "Time" is always written with this date.
inline constexpr sampling::DateTime kResetPickerDate{2008, 2, 19, 1, 1, 0};

// Every key's value, indexed by Key. Setting a value of the wrong alternative
// for its key throws std::invalid_argument.
class SettingsValues
{
public:
    // The first-run value of every key.
    static SettingsValues defaults(const RuntimeDefaults& runtime);
    static SettingValue defaultValue(Key key, const RuntimeDefaults& runtime);

    const SettingValue& get(Key key) const { return m_values[keyIndex(key)]; }
    void set(Key key, SettingValue value);

    bool boolean(Key key) const { return std::get<bool>(get(key)); }
    std::int64_t integer(Key key) const { return std::get<std::int64_t>(get(key)); }
    const std::string& text(Key key) const { return std::get<std::string>(get(key)); }
    Colour colour(Key key) const { return std::get<Colour>(get(key)); }
    int fontStyle(Key key) const { return std::get<FontStyleBits>(get(key)).bits; }
    const sampling::DateTime& dateTime(Key key) const
    {
        return std::get<sampling::DateTime>(get(key));
    }

    // The button of a radio group left checked once every key of the group
    // has been applied in read order: the last one read as true, or none.
    std::optional<Key> checkedButton(RadioGroup group) const;

    bool operator==(const SettingsValues&) const = default;

    // The variant alternative a key of this type holds.
    static std::size_t alternativeFor(ValueType type);

private:
    SettingsValues() = default;

    std::array<SettingValue, kKeyCount> m_values;
};

} // namespace flowloom::app
