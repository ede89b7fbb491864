#include "app/ini/SettingsValues.h"

#include <gtest/gtest.h>

#include <stdexcept>

using flowloom::app::Key;
using flowloom::app::RadioGroup;
using flowloom::app::RuntimeDefaults;
using flowloom::app::SettingsValues;
using flowloom::sampling::DateTime;

namespace {

SettingsValues withBools(std::initializer_list<std::pair<Key, bool>> changes)
{
    SettingsValues values = SettingsValues::defaults({});
    for (const auto& [key, on] : changes)
        values.set(key, on);
    return values;
}

} // namespace

TEST(SettingsValues, DefaultsAreTheFirstRunValues)
{
    const RuntimeDefaults runtime{"programs/flowloom", 321, 654};
    const SettingsValues values = SettingsValues::defaults(runtime);
    EXPECT_TRUE(values.boolean(Key::First));
    EXPECT_EQ(values.integer(Key::Points), 400);
    EXPECT_EQ(values.integer(Key::Max), 800);
    EXPECT_EQ(values.text(Key::Folder), "programs/flowloom");
    EXPECT_EQ(values.integer(Key::Height), 321);
    EXPECT_EQ(values.integer(Key::Width), 654);
    EXPECT_EQ(values.text(Key::Title), "Bandwidth graph of ");
    EXPECT_EQ(values.text(Key::Pass), "");
    EXPECT_EQ(values.colour(Key::Plot), 0x0000FF00u);
    EXPECT_EQ(values.colour(Key::Grid), 0x00808080u);
    EXPECT_EQ(values.fontStyle(Key::WebStyle), 0);
    EXPECT_EQ(values.integer(Key::Alpha), 255);
    // The reset time: 00:01:00 on the picker's own date.
    EXPECT_EQ(values.dateTime(Key::Time), (DateTime{2008, 2, 19, 0, 1, 0}));

    SettingsValues changed = values;
    EXPECT_THROW(changed.set(Key::Points, true), std::invalid_argument);
    EXPECT_THROW(changed.set(Key::Plot, std::int64_t{5}), std::invalid_argument);
    changed.set(Key::Points, std::int64_t{31});
    EXPECT_EQ(changed.integer(Key::Points), 31);
    EXPECT_NE(changed, values);
}

TEST(SettingsValues, TheLastButtonReadAsTrueWinsItsGroup)
{
    const SettingsValues defaults = SettingsValues::defaults({});
    EXPECT_EQ(defaults.checkedButton(RadioGroup::PageLimit), Key::Stop);
    EXPECT_EQ(defaults.checkedButton(RadioGroup::Units), Key::KB);
    EXPECT_EQ(defaults.checkedButton(RadioGroup::AxisFollows), Key::Peak);
    EXPECT_EQ(defaults.checkedButton(RadioGroup::SeriesType), Key::Area);
    EXPECT_EQ(defaults.checkedButton(RadioGroup::Drawing), Key::Ramp);
    EXPECT_EQ(defaults.checkedButton(RadioGroup::ImageSize), Key::RbPercent);
    EXPECT_EQ(defaults.checkedButton(RadioGroup::ImageType), Key::JPG);
    EXPECT_EQ(defaults.checkedButton(RadioGroup::LabelOrientation), Key::Horizontal);

    EXPECT_EQ(
        withBools({{Key::Line, false}, {Key::Area, false}}).checkedButton(RadioGroup::SeriesType),
        std::nullopt);
    EXPECT_EQ(
        withBools({{Key::Line, true}, {Key::Area, true}}).checkedButton(RadioGroup::SeriesType),
        Key::Area);
    EXPECT_EQ(
        withBools({{Key::Line, true}, {Key::Area, false}}).checkedButton(RadioGroup::SeriesType),
        Key::Line);
    EXPECT_EQ(withBools({{Key::JPG, true}, {Key::PNG, true}}).checkedButton(RadioGroup::ImageType),
              Key::PNG);
    EXPECT_EQ(withBools({{Key::JPG, false}, {Key::GIF, true}, {Key::BMP, false}})
                  .checkedButton(RadioGroup::ImageType),
              Key::GIF);
    EXPECT_EQ(withBools({{Key::JPG, false}}).checkedButton(RadioGroup::ImageType), std::nullopt);
    EXPECT_EQ(defaults.checkedButton(RadioGroup::None), std::nullopt);
}
