#include "app/SettingsBinder.h"

#include "app/NumberBox.h"
#include "sampling/TextBytes.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimeEdit>
#include <QToolButton>
#include <array>
#include <stdexcept>

namespace flowloom::app {

namespace {

// The bytes an edit box was filled from, kept with the box so that a text the
// user leaves alone is written back byte for byte.
constexpr const char* kStoredBytes = "flowloomStoredBytes";

template <typename W> W* control(const QWidget& root, std::string_view name)
{
    auto* widget =
        root.findChild<W*>(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
    if (widget == nullptr)
        throw std::logic_error("settings control missing: " + std::string(name));
    return widget;
}

// The window's named objects, found in one walk of its tree: the collection
// of every setting, once a minute, then looks each control up by name rather
// than walking the whole tree once per control. A name that more than one
// object carries is left to findChild, whose choice among them stays.
class NamedControls
{
public:
    explicit NamedControls(const QWidget& root)
    {
        for (QObject* object : root.findChildren<QObject*>()) {
            const QString name = object->objectName();
            if (name.isEmpty())
                continue;
            const auto found = m_byName.find(name);
            if (found == m_byName.end())
                m_byName.insert(name, object);
            else
                found.value() = nullptr; // more than one: ambiguous
        }
    }
    template <typename W> W* get(const QWidget& root, std::string_view name) const
    {
        const QString key = QString::fromUtf8(name.data(), static_cast<int>(name.size()));
        if (W* widget = qobject_cast<W*>(m_byName.value(key, nullptr)))
            return widget;
        return control<W>(root, name);
    }

private:
    QHash<QString, QObject*> m_byName;
};

int toInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

// A false value unchecks the button without checking another of its group.
void uncheckRadio(QRadioButton& button)
{
    if (!button.isChecked())
        return;
    button.setAutoExclusive(false);
    button.setChecked(false);
    button.setAutoExclusive(true);
}

// "Start Plot" and "Stop Plot" form a pair: exactly one is down.
void setToolToggle(const QWidget& root, std::string_view owner, bool down)
{
    auto* button = control<QAbstractButton>(root, owner);
    const QSignalBlocker blocker(button);
    if (button->group() != nullptr && !down) {
        for (QAbstractButton* other : button->group()->buttons()) {
            if (other != button) {
                const QSignalBlocker otherBlocker(other);
                other->setChecked(true);
                break;
            }
        }
        return;
    }
    button->setChecked(down);
}

// Where each key that no control holds lives among the program variables, and
// how its value goes there and back: one entry per key, checked against the
// key table when compiling.
struct VariableBinding
{
    Key key;
    ValueType type;
    void (*apply)(ProgramVariables&, const SettingsValues&, Key);
    SettingValue (*collect)(const ProgramVariables&);
};

using PV = ProgramVariables;

template <int PV::*member> constexpr VariableBinding integer(Key key)
{
    return {key, ValueType::Int,
            [](PV& p, const SettingsValues& v, Key k) { p.*member = toInt(v.integer(k)); },
            [](const PV& p) -> SettingValue { return std::int64_t{p.*member}; }};
}

template <bool PV::*member> constexpr VariableBinding boolean(Key key)
{
    return {key, ValueType::Bool,
            [](PV& p, const SettingsValues& v, Key k) { p.*member = v.boolean(k); },
            [](const PV& p) -> SettingValue { return p.*member; }};
}

template <std::string PV::*member>
constexpr VariableBinding text(Key key, ValueType type = ValueType::Text)
{
    return {key, type, [](PV& p, const SettingsValues& v, Key k) { p.*member = v.text(k); },
            [](const PV& p) -> SettingValue { return p.*member; }};
}

template <std::uint32_t PV::*member> constexpr VariableBinding colour(Key key)
{
    return {key, ValueType::Colour,
            [](PV& p, const SettingsValues& v, Key k) { p.*member = v.colour(k); },
            [](const PV& p) -> SettingValue { return Colour{p.*member}; }};
}

template <int PV::*member> constexpr VariableBinding fontStyle(Key key)
{
    return {key, ValueType::FontStyle,
            [](PV& p, const SettingsValues& v, Key k) { p.*member = v.fontStyle(k); },
            [](const PV& p) -> SettingValue { return FontStyleBits{p.*member}; }};
}

constexpr std::array kVariableBindings = {
    integer<&PV::URL>(Key::URL),
    integer<&PV::ServerIP>(Key::ServerIP),
    boolean<&PV::First>(Key::First),
    boolean<&PV::Default>(Key::Default),
    boolean<&PV::Lower>(Key::Lower),
    boolean<&PV::Auth>(Key::Auth),
    text<&PV::User>(Key::User),
    text<&PV::Pass>(Key::Pass, ValueType::ScrambledText),
    integer<&PV::Port>(Key::Port),
    colour<&PV::Border>(Key::Border),
    colour<&PV::Plot>(Key::Plot),
    colour<&PV::PlotUp>(Key::PlotUp),
    colour<&PV::Back>(Key::Back),
    colour<&PV::Grid>(Key::Grid),
    colour<&PV::WebColour>(Key::WebColour),
    integer<&PV::WebSize>(Key::WebSize),
    fontStyle<&PV::WebStyle>(Key::WebStyle),
    text<&PV::WebName>(Key::WebName),
    colour<&PV::Left>(Key::Left),
    colour<&PV::TitleColour>(Key::Colour),
    text<&PV::FontName>(Key::FontName),
    integer<&PV::FontSize>(Key::FontSize),
    fontStyle<&PV::FontStyle>(Key::FontStyle),
};

constexpr bool heldByVariable(Control control)
{
    return control == Control::Variable || control == Control::GraphAxesTextColour ||
           control == Control::GraphTitleFont;
}

// Every key held by a variable has exactly one binding, of its value type, and
// no other key has one.
constexpr bool bindingsMatchTheKeyTable()
{
    for (const KeyEntry& entry : SettingsKeys::table()) {
        int bindings = 0;
        for (const VariableBinding& binding : kVariableBindings) {
            if (binding.key != entry.key)
                continue;
            if (binding.type != entry.type)
                return false;
            ++bindings;
        }
        if (bindings != (heldByVariable(entry.control) ? 1 : 0))
            return false;
    }
    return true;
}
static_assert(bindingsMatchTheKeyTable(),
              "each key held by a program variable needs one binding of its type");

// The binding of a key held by a variable; the assertion above makes it exist.
constexpr const VariableBinding& variableBinding(Key key)
{
    std::size_t i = 0;
    while (kVariableBindings[i].key != key)
        ++i;
    return kVariableBindings[i];
}

} // namespace

void SettingsBinder::apply(QWidget& root, const SettingsValues& values, ProgramVariables& variables)
{
    for (const Key key : SettingsKeys::readOrder()) {
        const KeyEntry& entry = SettingsKeys::entry(key);
        switch (entry.control) {
        case Control::CheckBox:
            control<QCheckBox>(root, entry.owner)->setChecked(values.boolean(key));
            break;
        case Control::RadioButton: {
            auto* button = control<QRadioButton>(root, entry.owner);
            if (values.boolean(key))
                button->setChecked(true);
            else
                uncheckRadio(*button);
            break;
        }
        case Control::ToolToggle:
            setToolToggle(root, entry.owner, values.boolean(key));
            break;
        case Control::SpinBox:
            control<NumberBox>(root, entry.owner)
                ->setValue(toInt(SettingsKeys::limitToRange(key, values.integer(key))));
            break;
        case Control::TrackBar:
            control<QSlider>(root, entry.owner)
                ->setValue(toInt(SettingsKeys::limitToRange(key, values.integer(key))));
            break;
        case Control::ListIndex: {
            auto* list = control<QComboBox>(root, entry.owner);
            const QSignalBlocker blocker(list);
            list->setCurrentIndex(SettingsKeys::listSelection(values.integer(key), list->count()));
            break;
        }
        case Control::Edit: {
            // As it is: a box's length limit is for typing only.
            auto* edit = control<QLineEdit>(root, entry.owner);
            const std::string& stored = values.text(key);
            edit->setProperty(kStoredBytes,
                              QByteArray(stored.data(), static_cast<qsizetype>(stored.size())));
            edit->setText(QString::fromStdString(sampling::shownText(stored)));
            break;
        }
        case Control::TimePicker: {
            const sampling::DateTime& t = values.dateTime(key);
            control<QTimeEdit>(root, entry.owner)->setTime(QTime(t.hour, t.minute, t.second));
            break;
        }
        case Control::Variable:
        case Control::GraphAxesTextColour:
        case Control::GraphTitleFont:
            variableBinding(key).apply(variables, values, key);
            break;
        }
    }
}

SettingsValues SettingsBinder::collect(const QWidget& root, const ProgramVariables& variables,
                                       const RuntimeDefaults& runtime)
{
    SettingsValues values = SettingsValues::defaults(runtime);
    const NamedControls named(root);
    for (const KeyEntry& entry : SettingsKeys::table()) {
        const Key key = entry.key;
        switch (entry.control) {
        case Control::CheckBox:
        case Control::RadioButton:
        case Control::ToolToggle:
            values.set(key, named.get<QAbstractButton>(root, entry.owner)->isChecked());
            break;
        case Control::SpinBox:
            values.set(key, std::int64_t{named.get<NumberBox>(root, entry.owner)->value()});
            break;
        case Control::TrackBar:
            values.set(key, std::int64_t{named.get<QSlider>(root, entry.owner)->value()});
            break;
        case Control::ListIndex:
            values.set(key, std::int64_t{named.get<QComboBox>(root, entry.owner)->currentIndex()});
            break;
        case Control::Edit: {
            const auto* edit = named.get<QLineEdit>(root, entry.owner);
            values.set(key, sampling::storedText(
                                edit->text().toStdString(),
                                edit->property(kStoredBytes).toByteArray().toStdString()));
            break;
        }
        case Control::TimePicker: {
            const QTime t = named.get<QTimeEdit>(root, entry.owner)->time();
            sampling::DateTime picked = kResetPickerDate;
            picked.hour = t.hour();
            picked.minute = t.minute();
            picked.second = t.second();
            values.set(key, picked);
            break;
        }
        case Control::Variable:
        case Control::GraphAxesTextColour:
        case Control::GraphTitleFont:
            values.set(key, variableBinding(key).collect(variables));
            break;
        }
    }
    return values;
}

} // namespace flowloom::app
