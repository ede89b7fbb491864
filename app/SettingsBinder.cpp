#include "app/SettingsBinder.h"

#include "app/NumberBox.h"
#include "app/ini/TextBytes.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimeEdit>
#include <QToolButton>
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

void applyVariable(Key key, const SettingsValues& v, ProgramVariables& p)
{
    switch (key) {
    case Key::URL:
        p.URL = toInt(v.integer(key));
        break;
    case Key::ServerIP:
        p.ServerIP = toInt(v.integer(key));
        break;
    case Key::First:
        p.First = v.boolean(key);
        break;
    case Key::Default:
        p.Default = v.boolean(key);
        break;
    case Key::Lower:
        p.Lower = v.boolean(key);
        break;
    case Key::Auth:
        p.Auth = v.boolean(key);
        break;
    case Key::User:
        p.User = v.text(key);
        break;
    case Key::Pass:
        p.Pass = v.text(key);
        break;
    case Key::Port:
        p.Port = toInt(v.integer(key));
        break;
    case Key::Border:
        p.Border = v.colour(key);
        break;
    case Key::Plot:
        p.Plot = v.colour(key);
        break;
    case Key::PlotUp:
        p.PlotUp = v.colour(key);
        break;
    case Key::Back:
        p.Back = v.colour(key);
        break;
    case Key::Grid:
        p.Grid = v.colour(key);
        break;
    case Key::WebColour:
        p.WebColour = v.colour(key);
        break;
    case Key::WebSize:
        p.WebSize = toInt(v.integer(key));
        break;
    case Key::WebStyle:
        p.WebStyle = v.fontStyle(key);
        break;
    case Key::WebName:
        p.WebName = v.text(key);
        break;
    case Key::Left:
        p.Left = v.colour(key);
        break;
    case Key::Colour:
        p.TitleColour = v.colour(key);
        break;
    case Key::FontName:
        p.FontName = v.text(key);
        break;
    case Key::FontSize:
        p.FontSize = toInt(v.integer(key));
        break;
    case Key::FontStyle:
        p.FontStyle = v.fontStyle(key);
        break;
    default:
        throw std::logic_error("not a program variable");
    }
}

SettingValue collectVariable(Key key, const ProgramVariables& p)
{
    switch (key) {
    case Key::URL:
        return std::int64_t{p.URL};
    case Key::ServerIP:
        return std::int64_t{p.ServerIP};
    case Key::First:
        return p.First;
    case Key::Default:
        return p.Default;
    case Key::Lower:
        return p.Lower;
    case Key::Auth:
        return p.Auth;
    case Key::User:
        return p.User;
    case Key::Pass:
        return p.Pass;
    case Key::Port:
        return std::int64_t{p.Port};
    case Key::Border:
        return Colour{p.Border};
    case Key::Plot:
        return Colour{p.Plot};
    case Key::PlotUp:
        return Colour{p.PlotUp};
    case Key::Back:
        return Colour{p.Back};
    case Key::Grid:
        return Colour{p.Grid};
    case Key::WebColour:
        return Colour{p.WebColour};
    case Key::WebSize:
        return std::int64_t{p.WebSize};
    case Key::WebStyle:
        return FontStyleBits{p.WebStyle};
    case Key::WebName:
        return p.WebName;
    case Key::Left:
        return Colour{p.Left};
    case Key::Colour:
        return Colour{p.TitleColour};
    case Key::FontName:
        return p.FontName;
    case Key::FontSize:
        return std::int64_t{p.FontSize};
    case Key::FontStyle:
        return FontStyleBits{p.FontStyle};
    default:
        throw std::logic_error("not a program variable");
    }
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
            edit->setText(QString::fromStdString(shownText(stored)));
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
            applyVariable(key, values, variables);
            break;
        }
    }
}

SettingsValues SettingsBinder::collect(const QWidget& root, const ProgramVariables& variables,
                                       const RuntimeDefaults& runtime)
{
    SettingsValues values = SettingsValues::defaults(runtime);
    for (const KeyEntry& entry : SettingsKeys::table()) {
        const Key key = entry.key;
        switch (entry.control) {
        case Control::CheckBox:
        case Control::RadioButton:
        case Control::ToolToggle:
            values.set(key, control<QAbstractButton>(root, entry.owner)->isChecked());
            break;
        case Control::SpinBox:
            values.set(key, std::int64_t{control<NumberBox>(root, entry.owner)->value()});
            break;
        case Control::TrackBar:
            values.set(key, std::int64_t{control<QSlider>(root, entry.owner)->value()});
            break;
        case Control::ListIndex:
            values.set(key, std::int64_t{control<QComboBox>(root, entry.owner)->currentIndex()});
            break;
        case Control::Edit: {
            const auto* edit = control<QLineEdit>(root, entry.owner);
            values.set(key, storedText(edit->text().toStdString(),
                                       edit->property(kStoredBytes).toByteArray().toStdString()));
            break;
        }
        case Control::TimePicker: {
            const QTime t = control<QTimeEdit>(root, entry.owner)->time();
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
            values.set(key, collectVariable(key, variables));
            break;
        }
    }
    return values;
}

} // namespace flowloom::app
