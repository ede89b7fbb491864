#include "app/ini/SettingsValues.h"

#include "sampling/DateTimeText.h"

#include <stdexcept>

namespace flowloom::app {

std::size_t SettingsValues::alternativeFor(ValueType type)
{
    switch (type) {
    case ValueType::Bool:
        return 0;
    case ValueType::Int:
        return 1;
    case ValueType::Text:
    case ValueType::TitleText:
    case ValueType::ScrambledText:
        return 2;
    case ValueType::Colour:
        return 3;
    case ValueType::FontStyle:
        return 4;
    case ValueType::DateTime:
        return 5;
    }
    throw std::invalid_argument("unknown value type");
}

SettingValue SettingsValues::defaultValue(Key key, const RuntimeDefaults& runtime)
{
    const KeyEntry& e = SettingsKeys::entry(key);
    switch (e.runtimeDefault) {
    case RuntimeDefault::FilesFolder:
        return runtime.filesFolder;
    case RuntimeDefault::GraphHeight:
        return std::int64_t{runtime.graphHeight};
    case RuntimeDefault::GraphWidth:
        return std::int64_t{runtime.graphWidth};
    case RuntimeDefault::None:
    case RuntimeDefault::Now:
        break;
    }
    switch (e.type) {
    case ValueType::Bool:
        return e.defaultNumber != 0;
    case ValueType::Int:
        return e.defaultNumber;
    case ValueType::Text:
    case ValueType::ScrambledText:
        return std::string(e.defaultText);
    case ValueType::TitleText:
        return ValueCodec::titleFromStored(e.defaultText);
    case ValueType::Colour:
        return static_cast<Colour>(e.defaultNumber);
    case ValueType::FontStyle:
        return FontStyleBits{static_cast<int>(e.defaultNumber)};
    case ValueType::DateTime: {
        // The only date-time key is the reset time, whose default is a time
        // of day on the picker's date.
        const auto time = sampling::DateTimeText::fromText(e.defaultText);
        sampling::DateTime dt = kResetPickerDate;
        if (time) {
            dt.hour = time->hour;
            dt.minute = time->minute;
            dt.second = time->second;
        }
        return dt;
    }
    }
    throw std::invalid_argument("unknown value type");
}

SettingsValues SettingsValues::defaults(const RuntimeDefaults& runtime)
{
    SettingsValues values;
    for (const KeyEntry& e : SettingsKeys::table())
        values.m_values[keyIndex(e.key)] = defaultValue(e.key, runtime);
    return values;
}

void SettingsValues::set(Key key, SettingValue value)
{
    if (key >= Key::Count || value.index() != alternativeFor(SettingsKeys::entry(key).type))
        throw std::invalid_argument("a value of the wrong kind for this settings key");
    m_values[keyIndex(key)] = std::move(value);
}

std::optional<Key> SettingsValues::checkedButton(RadioGroup group) const
{
    std::optional<Key> checked;
    for (const Key key : SettingsKeys::readOrder()) {
        if (SettingsKeys::entry(key).group == group && group != RadioGroup::None && boolean(key))
            checked = key;
    }
    return checked;
}

} // namespace flowloom::app
