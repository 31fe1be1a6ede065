#include <gtest/gtest.h>

#include "TabFixture.h"

namespace velmora::tabtest {
namespace {

RectF Rect(float l, float t, float r, float b) { return {l, t, r, b}; }

class TabLayoutTest : public TabFixture {};

TEST_F(TabLayoutTest, StripHeadersAndPageAreaAfterLoading) {
    BuildTwoPages();
    EXPECT_EQ(tabs->BoundsRect(), Rect(0, 0, 368, 480));
    EXPECT_EQ(tabs->Strip().BoundsRect(), Rect(0, 0, 368, 28));
    EXPECT_EQ(pages[0]->BoundsRect(), Rect(0, 0, 92, 28));
    EXPECT_EQ(pages[1]->BoundsRect(), Rect(92, 0, 188, 28));
    EXPECT_EQ(tabs->PageArea(), Rect(0, 28, 368, 480));
    EXPECT_EQ(Content(0).BoundsRect(), Rect(0, 28, 368, 480));
    EXPECT_EQ(Content(1).BoundsRect(), Rect(0, 28, 368, 480));
    EXPECT_TRUE(Content(0).Visible());
    EXPECT_FALSE(Content(1).Visible());
    // Children of a page live in its content area.
    EXPECT_EQ(buttons[0]->ParentControl(), &Content(0));
    EXPECT_EQ(buttons[0]->AbsoluteRect(), Rect(0, 28, 368, 78));
    EXPECT_EQ(pages[0]->Controls().size(), 0u);
}

TEST_F(TabLayoutTest, ResizeFollowsWindowAndKeepsStripHeight) {
    BuildTwoPages();
    form->SetClientWidth(500);
    form->SetClientHeight(600);
    EXPECT_EQ(tabs->Strip().BoundsRect(), Rect(0, 0, 500, 28));
    EXPECT_EQ(Content(0).BoundsRect(), Rect(0, 28, 500, 600));
    EXPECT_EQ(buttons[0]->BoundsRect(), Rect(0, 0, 500, 50));
}

TEST_F(TabLayoutTest, PaddingAndContentMarginsShrinkThePageArea) {
    BuildTwoPages();
    tabs->Padding().SetLeft(4);
    tabs->Padding().SetBottom(6);
    Content(0).Margins().SetTop(2);
    tabs->UpdatePageLayout();
    EXPECT_EQ(Content(0).BoundsRect(), Rect(4, 30, 368, 474));
}

TEST_F(TabLayoutTest, StoredSizesReachContentsWhileLoading) {
    // Only the first page has a pair; the loaded layout replaces both anyway.
    Build({{"A", true, true}, {"B"}}, 0, {300, 400});
    EXPECT_EQ(tabs->StoredSizes(), (std::vector<float>{300, 400}));
    EXPECT_EQ(Content(0).BoundsRect(), Rect(0, 28, 368, 480));
}

TEST_F(TabLayoutTest, StoredSizesAppliedOnAttachWhileLoading) {
    form = std::make_unique<TabTestForm>(nullptr);
    form->CreateHandle();
    tabs = new TTabControl(form.get());
    tabs->SetLoading();
    tabs->SetParentComponent(form.get());
    SinglesReader reader({368, 452, 200, 100, 7});
    ASSERT_TRUE(TTabControl::StaticClassInfo().ReadDefinedProperty(*tabs, "Sizes", reader));
    auto* first = new TTabItem(form.get());
    first->SetParentComponent(tabs);
    auto* second = new TTabItem(form.get());
    second->SetParentComponent(tabs);
    auto* third = new TTabItem(form.get());
    third->SetParentComponent(tabs);
    EXPECT_EQ(first->Content().Width(), 368);
    EXPECT_EQ(first->Content().Height(), 452);
    EXPECT_EQ(second->Content().Width(), 200);
    EXPECT_EQ(second->Content().Height(), 100);
    EXPECT_EQ(third->Content().Width(), 0) << "an unpaired single is not a size";
}

TEST_F(TabLayoutTest, HeaderSelectionAfterLoadingFollowsTabIndex) {
    struct Case {
        int tabIndex;
        bool firstStored, secondStored;
        int activeAfter;
    };
    for (Case c : {Case{0, true, false, 0}, Case{0, false, false, 0}, Case{1, true, false, 0},
                   Case{0, false, true, 1}, Case{1, false, false, 1}}) {
        pages.clear();
        buttons.clear();
        Build({{"A", true, c.firstStored}, {"B", true, c.secondStored}}, c.tabIndex);
        SCOPED_TRACE(::testing::Message() << "TabIndex " << c.tabIndex << " stored " << c.firstStored << "/"
                                          << c.secondStored);
        EXPECT_EQ(tabs->TabIndex(), c.activeAfter);
        EXPECT_EQ(pages[0]->IsSelected(), c.activeAfter == 0);
        EXPECT_EQ(pages[1]->IsSelected(), c.activeAfter == 1);
        EXPECT_EQ(Content(c.activeAfter).Visible(), true);
        EXPECT_EQ(Content(1 - c.activeAfter).Visible(), false);
    }
}

TEST_F(TabLayoutTest, TabPositionNotSetWhileLoadingBecomesTop) {
    Build({{"A", true, true}, {"B"}}, 0, {}, /*storePosition=*/false);
    EXPECT_EQ(tabs->TabPosition(), TTabPosition::Top);
    pages.clear();
    buttons.clear();
    Build({{"A", true, true}, {"B"}});
    EXPECT_EQ(tabs->TabPosition(), TTabPosition::PlatformDefault);
    EXPECT_EQ(tabs->EffectiveTabPosition(), TTabPosition::Top);
}

TEST_F(TabLayoutTest, BottomStripPutsPagesAbove) {
    BuildTwoPages();
    tabs->SetTabPosition(TTabPosition::Bottom);
    EXPECT_EQ(tabs->Strip().BoundsRect(), Rect(0, 452, 368, 480));
    EXPECT_EQ(Content(0).BoundsRect(), Rect(0, 0, 368, 452));
}

TEST_F(TabLayoutTest, ExplicitSizeTakenFromCurrentSizeWhereNoneStored) {
    Build({{"Оглавление", true, true}, {"Содержание"}});
    EXPECT_TRUE(pages[0]->HasExplicitSize());
    EXPECT_EQ(pages[0]->ExplicitWidth(), 92);
    EXPECT_EQ(pages[1]->ExplicitWidth(), 96);
    EXPECT_EQ(pages[1]->ExplicitHeight(), 28);
    // Auto-size off: the stored explicit size decides the header.
    SinglesReader cx({150});
    ASSERT_TRUE(TTabItem::StaticClassInfo().ReadDefinedProperty(*pages[1], "ExplicitSize.cx", cx));
    pages[1]->SetAutoSize(false);
    EXPECT_EQ(pages[1]->BoundsRect(), Rect(92, 0, 242, 28));
}

TEST_F(TabLayoutTest, HeaderShowsIconOnlyWhenASlotHoldsAnImage) {
    BuildTwoPages();
    pages[0]->CustomIcon().Add();
    EXPECT_FALSE(pages[0]->ShowsIcon());
    static_cast<TTabIconSlot&>(pages[0]->CustomIcon().Add()).SetImage({1, 2, 3});
    EXPECT_TRUE(pages[0]->ShowsIcon());
}

// --- immediate changes and the common lookup ----------------------------------

class PageChangeTest : public TabFixture {};

TEST_F(PageChangeTest, SettingTabIndexSwitchesAtOnce) {
    BuildTwoPages();
    int changes = 0;
    tabs->OnChange = [&](Component* sender) {
        EXPECT_EQ(sender, tabs);
        ++changes;
    };
    const int realignsBefore = realigns;
    tabs->SetTabIndex(1);
    EXPECT_EQ(tabs->ActiveTab(), pages[1]);
    EXPECT_FALSE(pages[0]->IsSelected());
    EXPECT_TRUE(pages[1]->IsSelected());
    EXPECT_FALSE(Content(0).Visible());
    EXPECT_TRUE(Content(1).Visible());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(realigns, realignsBefore + 1);

    tabs->SetTabIndex(1);
    EXPECT_EQ(changes, 1) << "same index: nothing happens";
    tabs->SetTabIndex(7);
    EXPECT_EQ(tabs->TabIndex(), 1) << "an index that names no page is ignored";
    tabs->SetActiveTab(nullptr);
    EXPECT_EQ(tabs->TabIndex(), -1);
    EXPECT_FALSE(Content(0).Visible());
    EXPECT_FALSE(Content(1).Visible());
}

TEST_F(PageChangeTest, OnChangeIsNotRaisedWhileLoading) {
    int changes = 0;
    form = std::make_unique<TabTestForm>(nullptr);
    form->CreateHandle();
    form->SetLoading();
    tabs = new TTabControl(form.get());
    tabs->SetLoading();
    tabs->SetParentComponent(form.get());
    tabs->OnChange = [&](Component*) { ++changes; };
    tabs->SetTabIndex(0);
    auto* page = new TTabItem(form.get());
    page->SetLoading();
    page->SetParentComponent(tabs);
    auto* second = new TTabItem(form.get());
    second->SetLoading();
    second->SetParentComponent(tabs);
    second->SetIsSelected(true);
    EXPECT_EQ(tabs->TabIndex(), 1) << "a page selected while reading becomes active at once";
    EXPECT_EQ(changes, 0);
}

struct LookupCase {
    const char* name;
    std::vector<bool> visible;
    int from;
    int next, previous, first, last;
};

class VisibleLookup : public TabFixture, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(VisibleLookup, SkipsInvisiblePages) {
    const LookupCase& c = GetParam();
    std::vector<PageSpec> pageSpecs;
    for (std::size_t i = 0; i < c.visible.size(); ++i) pageSpecs.push_back({"P" + std::to_string(i), c.visible[i]});
    Build(pageSpecs, c.from);
    EXPECT_EQ(tabs->FindNextVisible(c.from), c.next);
    EXPECT_EQ(tabs->FindPreviousVisible(c.from), c.previous);
    EXPECT_EQ(tabs->FindNextVisible(-1), c.first);
    EXPECT_EQ(tabs->FindPreviousVisible(tabs->TabCount()), c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VisibleLookup,
    ::testing::Values(LookupCase{"AllVisible", {true, true, true}, 1, 2, 0, 0, 2},
                      LookupCase{"SkipHidden", {true, false, true, false}, 0, 2, -1, 0, 2},
                      LookupCase{"NoneAfter", {true, true, false}, 1, -1, 0, 0, 1},
                      LookupCase{"FromNone", {false, true, true}, -1, 1, -1, 1, 2},
                      LookupCase{"IndexBeyondCountIsLimited", {true, true}, 9, -1, 1, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    int tabIndex;
    std::vector<bool> visible;
    int target;
};

class GotoRefusal : public TabFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(GotoRefusal, ChangesNothing) {
    const RefusalCase& c = GetParam();
    std::vector<PageSpec> pageSpecs;
    for (std::size_t i = 0; i < c.visible.size(); ++i) pageSpecs.push_back({"P" + std::to_string(i), c.visible[i]});
    Build(pageSpecs, c.tabIndex);
    int changes = 0;
    tabs->OnChange = [&](Component*) { ++changes; };
    const int realignsBefore = realigns;
    EXPECT_FALSE(tabs->GotoVisibleTab(c.target, TTabTransition::Slide, TTabTransitionDirection::Normal));
    EXPECT_EQ(tabs->TabIndex(), c.tabIndex);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(realigns, realignsBefore);
    EXPECT_FALSE(tabs->IsTransitionRunning());
    EXPECT_EQ(AnimationClock::Instance().RunningCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, GotoRefusal,
                         ::testing::Values(RefusalCase{"Negative", 0, {true, true}, -1},
                                           RefusalCase{"PastTheEnd", 0, {true, true}, 2},
                                           RefusalCase{"SameIndex", 1, {true, true}, 1},
                                           RefusalCase{"InvisiblePage", 0, {true, false}, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageChangeTest, NextOnLastVisiblePageIsRefused) {
    Build({{"A"}, {"B"}, {"C", false}}, 1);
    EXPECT_FALSE(tabs->Next(TTabTransition::Slide));
    EXPECT_EQ(tabs->TabIndex(), 1);
    EXPECT_FALSE(tabs->IsTransitionRunning());
}

TEST_F(PageChangeTest, FromNoActivePageNextSelectsAtOnceWithoutSlide) {
    Build({{"A", false}, {"B"}, {"C"}}, -1);
    const int processBefore = processCalls;
    EXPECT_TRUE(tabs->Next(TTabTransition::Slide, TTabTransitionDirection::Normal));
    EXPECT_EQ(tabs->TabIndex(), 1);
    EXPECT_EQ(processCalls, processBefore) << "no slide, no wait";
    EXPECT_EQ(AnimationClock::Instance().RunningCount(), 0);
}

TEST_F(PageChangeTest, FirstLastAndImmediateNextPrevious) {
    Build({{"A"}, {"B"}, {"C"}, {"D", false}}, 1);
    EXPECT_TRUE(tabs->Last());
    EXPECT_EQ(tabs->TabIndex(), 2);
    EXPECT_TRUE(tabs->First());
    EXPECT_EQ(tabs->TabIndex(), 0);
    EXPECT_FALSE(tabs->Previous());
    EXPECT_TRUE(tabs->Next());
    EXPECT_EQ(tabs->TabIndex(), 1);
    EXPECT_TRUE(Content(1).Visible());
    EXPECT_FALSE(Content(0).Visible());
}

TEST_F(PageChangeTest, HidingAContentTakesTheFocusFromItsControls) {
    BuildTwoPages();
    buttons[0]->SetFocus();
    ASSERT_EQ(form->Focused(), buttons[0]);
    tabs->SetTabIndex(1);
    EXPECT_EQ(form->Focused(), nullptr);
}

TEST_F(PageChangeTest, RemovingPagesKeepsAValidActiveIndex) {
    Build({{"A"}, {"B"}, {"C"}}, 2);
    delete pages[2];
    pages.pop_back();
    EXPECT_EQ(tabs->TabCount(), 2);
    EXPECT_EQ(tabs->TabIndex(), 1);
    EXPECT_TRUE(pages[1]->IsSelected());
    EXPECT_TRUE(Content(1).Visible());
}

TEST_F(PageChangeTest, DestroyingTheTabControlReleasesItsPages) {
    BuildTwoPages();
    delete tabs;
    tabs = nullptr;
    EXPECT_EQ(pages[0]->TabControl(), nullptr);
    EXPECT_EQ(pages[0]->Content().ParentControl(), nullptr);
    EXPECT_EQ(buttons[0]->ParentControl(), &pages[0]->Content());
}

}  // namespace
}  // namespace velmora::tabtest
