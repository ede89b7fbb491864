#include "app/ini/SettingsFile.h"

#include "app/ini/ValueCodec.h"
#include "sampling/RunControl.h"

#include <stdexcept>

namespace flowloom::app {

namespace fs = std::filesystem;
using sampling::DateTime;

namespace {

// The picker keeps its own date; only a time of day is taken from the file.
DateTime onPickerDate(const DateTime& time)
{
    DateTime dt = kResetPickerDate;
    dt.hour = time.hour;
    dt.minute = time.minute;
    dt.second = time.second;
    return dt;
}

template <typename T> std::optional<SettingValue> wrap(const std::optional<T>& value)
{
    if (!value)
        return std::nullopt;
    return SettingValue(std::in_place_type<T>, *value);
}

std::optional<SettingValue> convert(const KeyEntry& e, const std::string& text)
{
    switch (e.type) {
    case ValueType::Bool:
        return wrap(ValueCodec::readBool(text));
    case ValueType::Int: {
        const auto value = ValueCodec::readInt(text);
        return value ? std::optional<SettingValue>(std::int64_t{*value}) : std::nullopt;
    }
    case ValueType::Text:
        return SettingValue(text);
    case ValueType::TitleText:
        return SettingValue(ValueCodec::titleFromStored(text));
    case ValueType::ScrambledText:
        return SettingValue(ValueCodec::EnDeCrypt(text));
    case ValueType::Colour:
        return wrap(ValueCodec::readColour(text));
    case ValueType::FontStyle: {
        const auto style = ValueCodec::readFontStyle(text);
        return style ? std::optional<SettingValue>(FontStyleBits{*style}) : std::nullopt;
    }
    case ValueType::DateTime: {
        const auto dt = ValueCodec::readDateTime(text);
        return dt ? std::optional<SettingValue>(onPickerDate(*dt)) : std::nullopt;
    }
    }
    return std::nullopt;
}

std::string totalKey(InterfaceKey key, std::size_t row)
{
    return SettingsKeys::interfaceKeyName(key, row);
}

} // namespace

fs::path SettingsFile::pathForProgram(const fs::path& programFile)
{
    fs::path path = programFile;
    path.replace_extension(".ini");
    return path;
}

SettingValue SettingsFile::decode(Key key, const std::optional<std::string>& text,
                                  const RuntimeDefaults& runtime)
{
    if (text) {
        if (auto value = convert(SettingsKeys::entry(key), *text))
            return std::move(*value);
    }
    return SettingsValues::defaultValue(key, runtime);
}

std::string SettingsFile::encode(Key key, const SettingValue& value)
{
    const KeyEntry& e = SettingsKeys::entry(key);
    if (value.index() != SettingsValues::alternativeFor(e.type))
        throw std::invalid_argument("a value of the wrong kind for this settings key");
    switch (e.type) {
    case ValueType::Bool:
        return ValueCodec::writeBool(std::get<bool>(value));
    case ValueType::Int:
        return ValueCodec::writeInt(std::get<std::int64_t>(value));
    case ValueType::Text:
        return std::get<std::string>(value);
    case ValueType::TitleText:
        return ValueCodec::titleToStored(std::get<std::string>(value));
    case ValueType::ScrambledText:
        return ValueCodec::EnDeCrypt(std::get<std::string>(value));
    case ValueType::Colour:
        return ValueCodec::writeColour(std::get<Colour>(value));
    case ValueType::FontStyle:
        return ValueCodec::writeFontStyle(std::get<FontStyleBits>(value).bits);
    case ValueType::DateTime:
        return ValueCodec::writeDateTime(std::get<DateTime>(value));
    }
    throw std::invalid_argument("unknown value type");
}

SettingsValues SettingsFile::read(const IniStore& store, const RuntimeDefaults& runtime)
{
    SettingsValues values = SettingsValues::defaults(runtime);
    for (const Key key : SettingsKeys::readOrder()) {
        const auto text = store.read(kSection, SettingsKeys::entry(key).name);
        values.set(key, decode(key, text, runtime));
    }
    return values;
}

std::vector<InterfaceTotals> SettingsFile::readTotals(const IniStore& store, std::size_t rowCount,
                                                      const DateTime& now)
{
    const auto total = [&](InterfaceKey key, std::size_t row) {
        const auto text = store.read(kSection, totalKey(key, row));
        const auto value = text ? ValueCodec::readTotal(*text) : std::nullopt;
        return value.value_or(0);
    };
    const auto resetTime = [&](InterfaceKey key, std::size_t row) {
        const auto text = store.read(kSection, totalKey(key, row));
        const auto value = text ? ValueCodec::readDateTime(*text) : std::nullopt;
        if (!value || sampling::resetTimeTooFarAhead(*value, now))
            return now;
        return *value;
    };
    std::vector<InterfaceTotals> totals(rowCount);
    for (std::size_t row = 0; row < rowCount; ++row) {
        totals[row].totalIn = total(InterfaceKey::LastTotalIn, row);
        totals[row].inReset = resetTime(InterfaceKey::LastInReset, row);
        totals[row].totalOut = total(InterfaceKey::LastTotalOut, row);
        totals[row].outReset = resetTime(InterfaceKey::LastOutReset, row);
    }
    return totals;
}

void SettingsFile::write(IniStore& store, const SettingsValues& values,
                         const std::vector<InterfaceTotals>& totals)
{
    for (const KeyEntry& e : SettingsKeys::table()) {
        // A file that has been written once marks the end of the first run.
        const std::string text =
            e.key == Key::First ? ValueCodec::writeBool(false) : encode(e.key, values.get(e.key));
        store.write(kSection, e.name, text);
        if (e.key != keytable::kInterfaceKeysAfter)
            continue;
        for (std::size_t row = 0; row < totals.size(); ++row) {
            const InterfaceTotals& t = totals[row];
            store.write(kSection, totalKey(InterfaceKey::LastTotalIn, row),
                        ValueCodec::writeTotal(t.totalIn));
            store.write(kSection, totalKey(InterfaceKey::LastInReset, row),
                        ValueCodec::writeDateTime(t.inReset));
            store.write(kSection, totalKey(InterfaceKey::LastTotalOut, row),
                        ValueCodec::writeTotal(t.totalOut));
            store.write(kSection, totalKey(InterfaceKey::LastOutReset, row),
                        ValueCodec::writeDateTime(t.outReset));
        }
    }
}

SettingsValues SettingsFile::load(const fs::path& path, const RuntimeDefaults& runtime)
{
    IniStore store;
    IniStore::load(path, store); // missing or unreadable: an empty store, every default
    return read(store, runtime);
}

std::vector<InterfaceTotals> SettingsFile::loadTotals(const fs::path& path, std::size_t rowCount,
                                                      const DateTime& now)
{
    IniStore store;
    IniStore::load(path, store);
    return readTotals(store, rowCount, now);
}

IniSaveResult SettingsFile::save(const fs::path& path, const SettingsValues& values,
                                 const std::vector<InterfaceTotals>& totals)
{
    IniStore store;
    if (IniStore::load(path, store) == IniLoad::Failed) {
        // Whatever is there could not be read, so writing over it would lose
        // it; report the file as unwritable instead.
        std::error_code ec;
        const fs::path full = fs::absolute(path, ec);
        return {IniSave::Failed, "Unable to write to " + (ec ? path : full).string()};
    }
    write(store, values, totals);
    // The password is only scrambled: no one else may read a file holding one.
    return store.save(path, values.text(Key::Pass).empty() ? FileSecrecy::Plain
                                                           : FileSecrecy::HoldsSecret);
}

} // namespace flowloom::app
