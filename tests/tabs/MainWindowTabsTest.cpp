// The tab control as the program's own description builds it.
#include <gtest/gtest.h>

#include "program/MainWindowFixture.h"
#include "toolkit/controls/TabItemContent.h"
#include "toolkit/controls/TabStrip.h"

namespace velmora::tabtest {
namespace {

RectF Rect(float l, float t, float r, float b) { return {l, t, r, b}; }

using MainWindowTabsTest = velmora::testing::MainWindowFixture;

TEST_F(MainWindowTabsTest, DescriptionGivesTheStaticLayout) {
    TTabControl& tabs = *window->TabControl1;
    TTabItem& toc = *window->TabItem1;
    TTabItem& reader = *window->TabItem2;

    EXPECT_EQ(tabs.BoundsRect(), Rect(0, 0, 368, 480));
    EXPECT_EQ(tabs.TabPosition(), TTabPosition::PlatformDefault);
    EXPECT_EQ(tabs.EffectiveTabPosition(), TTabPosition::Top);
    EXPECT_EQ(tabs.StoredSizes(), (std::vector<float>{368, 452, 368, 452}));
    EXPECT_EQ(tabs.Strip().BoundsRect(), Rect(0, 0, 368, 28));
    EXPECT_EQ(toc.BoundsRect(), Rect(0, 0, 92, 28));
    EXPECT_EQ(reader.BoundsRect(), Rect(92, 0, 188, 28));
    EXPECT_EQ(toc.Text(), "Оглавление");
    EXPECT_EQ(reader.Text(), "Содержание");
    EXPECT_EQ(toc.ExplicitWidth(), 92);
    EXPECT_EQ(reader.ExplicitWidth(), 96);
    EXPECT_EQ(reader.ExplicitHeight(), 28);
    EXPECT_EQ(toc.CustomIcon().Count(), 1);
    EXPECT_FALSE(toc.ShowsIcon());
    EXPECT_FALSE(reader.ShowsIcon());

    EXPECT_EQ(tabs.TabIndex(), 0);
    EXPECT_TRUE(toc.IsSelected());
    EXPECT_FALSE(reader.IsSelected());
    EXPECT_TRUE(toc.Content().Visible());
    EXPECT_FALSE(reader.Content().Visible());
    EXPECT_EQ(toc.Content().AbsoluteRect(), Rect(0, 28, 368, 480));
    EXPECT_EQ(reader.Content().BoundsRect(), Rect(0, 28, 368, 480));

    TButton* buttons[] = {window->Button1, window->Button2, window->Button3, window->Button4};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(buttons[i]->ParentControl(), &toc.Content());
        EXPECT_EQ(buttons[i]->AbsoluteRect(), Rect(0, 28 + 50.0f * i, 368, 78 + 50.0f * i)) << "Button" << i + 1;
    }
    EXPECT_EQ(window->WebBrowser1->ParentControl(), &reader.Content());
    EXPECT_EQ(window->WebBrowser1->AbsoluteRect(), Rect(0, 28, 368, 480));
}

TEST_F(MainWindowTabsTest, ChapterSlidesToTheReaderAndItsHeaderLeadsBack) {
    TTabControl& tabs = *window->TabControl1;
    const std::uint64_t start = host.NowMicroseconds();
    window->Button3Click(window->Button3);
    EXPECT_EQ(host.NowMicroseconds() - start, 300000u);
    EXPECT_EQ(tabs.TabIndex(), 1);
    EXPECT_FALSE(tabs.IsTransitionRunning());
    EXPECT_TRUE(window->TabItem2->Content().Visible());
    EXPECT_FALSE(window->TabItem1->Content().Visible());
    EXPECT_EQ(window->WebBrowser1->AbsoluteRect(), Rect(0, 28, 368, 480));

    host.Press(window->Handle(), 46, 14);
    host.DispatchPending();
    EXPECT_EQ(tabs.TabIndex(), 0) << "back at once, on the press";
    EXPECT_EQ(window->Focused(), window->TabItem1);
    EXPECT_TRUE(window->TabItem1->Content().Visible());
    EXPECT_FALSE(window->TabItem2->Content().Visible());
}

}  // namespace
}  // namespace velmora::tabtest
