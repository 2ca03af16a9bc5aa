// The window's rules that need no window, as tables of cases.
#include <gtest/gtest.h>

#include <climits>

#include "ui/Layout.h"

TEST(LayoutRules, DialogFontHeightIsCappedAt13AboveMagnitude14)
{
    const struct {
        LONG menu, dialog;
    } cases[] = {
        { -12, -12 }, { -14, -14 }, { -15, -13 }, { -20, -13 }, { -40, -13 },
        { 12, 12 },   { 14, 14 },   { 15, 13 },   { 16, 13 },   { 0, 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CapFontHeight(c.menu), c.dialog) << "menu font height " << c.menu;
}

TEST(LayoutRules, CloseButtonIsAtLeast80WideElseCaptionPlus20)
{
    const struct {
        int text, button;
    } cases[] = {
        { 0, 80 }, { 26, 80 }, { 79, 80 }, { 80, 100 }, { 81, 101 }, { 150, 170 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CloseButtonWidth(c.text), c.button) << "caption width " << c.text;
}

TEST(LayoutRules, ProgressPositionIsTheTruncatedPercentageWithinTheBar)
{
    const struct {
        int done, total, pos;
    } cases[] = {
        { 0, 1000, 0 },    { 1, 3, 33 },       { 2, 3, 66 },     { 999, 1000, 99 },  { 1000, 1000, 100 },
        { 5, 0, 0 },       { 5, -1, 0 },       { -5, 100, 0 },   { 2000, 1000, 100 }, { INT_MAX, 1, 100 },
        { INT_MAX, INT_MAX, 100 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressPosition(c.done, c.total), c.pos) << c.done << " of " << c.total;
}
