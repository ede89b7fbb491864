#include "app/NumberBox.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <climits>
#include <gtest/gtest.h>

using flowloom::app::committedValue;
using flowloom::app::NumberBox;

TEST(NumberBox, CommittedTextIsAWholeNumberWithinTheRange)
{
    const std::pair<int, int> points{10, 10000};
    EXPECT_EQ(committedValue("200", 400, points), 200);
    EXPECT_EQ(committedValue(" 2 ", 400, points), 10);
    EXPECT_EQ(committedValue("-5", 400, points), 10);
    EXPECT_EQ(committedValue("20000", 400, points), 10000);
    EXPECT_EQ(committedValue("abc", 400, points), 10) << "no number counts as the minimum";
    EXPECT_EQ(committedValue("", 400, points), 400) << "an empty box keeps its value";
    // "Maximum value" has no range: any 32-bit number, never past its ends.
    EXPECT_EQ(committedValue("-50", 800, std::nullopt), -50);
    EXPECT_EQ(committedValue("3000000000", 800, std::nullopt), INT_MAX);
    EXPECT_EQ(committedValue("-99999999999999999999999", 800, std::nullopt), INT_MIN);
    EXPECT_EQ(committedValue("abc", 800, std::nullopt), 800);
    EXPECT_EQ(committedValue("", 800, std::nullopt), 800);

    EXPECT_TRUE(flowloom::app::leavesField(Qt::TabFocusReason));
    EXPECT_TRUE(flowloom::app::leavesField(Qt::MouseFocusReason));
    EXPECT_FALSE(flowloom::app::leavesField(Qt::PopupFocusReason));
    EXPECT_FALSE(flowloom::app::leavesField(Qt::ActiveWindowFocusReason));
}

TEST(NumberBox, TypedTextTakesEffectOnlyWhenCommitted)
{
    NumberBox box(std::pair{10, 10000});
    box.setValue(400);
    QSignalSpy changes(&box, &NumberBox::valueChanged);
    QLineEdit* edit = box.findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClicks(edit, "2");
    EXPECT_EQ(box.value(), 400) << "2 on the way to 200 is no value yet";
    QTest::keyClicks(edit, "00");
    EXPECT_EQ(changes.count(), 0);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.value(), 200);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toInt(), 200);

    // A context menu or another program is no leaving; a tab is.
    edit->setText("-5");
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(&box, &popup);
    EXPECT_EQ(box.value(), 200);
    QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&box, &tab);
    EXPECT_EQ(box.value(), 10);
    EXPECT_EQ(edit->text(), "10");

    // The arrows commit what is typed and step from it; an emptied box keeps its value.
    edit->setText("50");
    box.stepBy(1);
    EXPECT_EQ(box.value(), 51);
    edit->clear();
    QTest::keyClick(&box, Qt::Key_Enter);
    EXPECT_EQ(box.value(), 51);
    EXPECT_EQ(edit->text(), "51");
}
