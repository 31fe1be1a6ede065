#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/controls/Control.h"
#include "base/Exceptions.h"

namespace velmora {
namespace {

RectF R(float l, float t, float r, float b) { return {l, t, r, b}; }

// Controls outside any form lay out at once.
struct Tree {
    Component owner{nullptr};
    TControl* root = nullptr;
    explicit Tree(float w, float h) {
        root = new TControl(&owner);
        root->SetBounds(0, 0, w, h);
    }
    TControl* Add(TAlignLayout align, RectF bounds, RectF margins = {}) {
        auto* c = new TControl(&owner);
        c->SetBounds(bounds.left, bounds.top, bounds.Width(), bounds.Height());
        c->Margins().SetLeft(margins.left);
        c->Margins().SetTop(margins.top);
        c->Margins().SetRight(margins.right);
        c->Margins().SetBottom(margins.bottom);
        c->SetParent(root);
        c->SetAlign(align);
        return c;
    }
};

struct Child {
    TAlignLayout align;
    RectF before;
    RectF margins;
    RectF expected;
};

struct LayoutCase {
    std::string name;
    RectF padding;  // parent padding as left/top/right/bottom
    std::vector<Child> children;
};

class AlignmentTable : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(AlignmentTable, PlacesEveryChild) {
    const LayoutCase& c = GetParam();
    Tree t(368, 452);
    t.root->Padding().SetLeft(c.padding.left);
    t.root->Padding().SetTop(c.padding.top);
    t.root->Padding().SetRight(c.padding.right);
    t.root->Padding().SetBottom(c.padding.bottom);
    // Built as a description builds it: layout waits for the end of loading,
    // so the stored positions, not the order of arrival, decide.
    t.root->SetLoading();
    std::vector<TControl*> made;
    for (const Child& ch : c.children) made.push_back(t.Add(ch.align, ch.before, ch.margins));
    t.root->Loaded();
    for (std::size_t i = 0; i < made.size(); ++i) {
        RectF got = made[i]->BoundsRect();
        RectF want = c.children[i].expected;
        EXPECT_EQ(got, want) << "child " << i << ": got (" << got.left << "," << got.top << ")-(" << got.right << ","
                             << got.bottom << "), want (" << want.left << "," << want.top << ")-(" << want.right
                             << "," << want.bottom << ")";
    }
}

using A = TAlignLayout;

INSTANTIATE_TEST_SUITE_P(
    Layouts, AlignmentTable,
    ::testing::Values(
        // Added out of order: stacking follows the vertical position.
        LayoutCase{"TopByPositionThenClient",
                   {},
                   {{A::Top, R(0, 100, 10, 150), {}, R(0, 100, 368, 150)},
                    {A::Top, R(0, 0, 10, 50), {}, R(0, 0, 368, 50)},
                    {A::Top, R(0, 50, 10, 100), {}, R(0, 50, 368, 100)},
                    {A::Client, R(5, 5, 6, 6), {}, R(0, 150, 368, 452)}}},
        // Equal tops keep the child order.
        LayoutCase{"TopTiesKeepChildOrder",
                   {},
                   {{A::Top, R(0, 0, 10, 30), {}, R(0, 0, 368, 30)},
                    {A::Top, R(0, 0, 10, 20), {}, R(0, 30, 368, 50)},
                    {A::Top, R(0, 0, 10, 10), {}, R(0, 50, 368, 60)}}},
        // Client is done after the edges whatever the child order.
        LayoutCase{"ClientFirstStillTakesTheRest",
                   {},
                   {{A::Client, R(0, 0, 1, 1), {}, R(40, 20, 338, 422)},
                    {A::Bottom, R(0, 0, 1, 30), {}, R(0, 422, 368, 452)},
                    {A::Left, R(0, 0, 40, 1), {}, R(0, 20, 40, 422)},
                    {A::Top, R(0, 0, 1, 20), {}, R(0, 0, 368, 20)},
                    {A::Right, R(0, 0, 30, 1), {}, R(338, 20, 368, 422)}}},
        LayoutCase{"PaddingAndMargins",
                   R(10, 8, 6, 4),
                   {{A::Top, R(0, 0, 1, 50), R(2, 3, 4, 5), R(12, 11, 358, 61)},
                    {A::Client, R(0, 0, 1, 1), R(1, 1, 1, 1), R(11, 67, 361, 447)}}},
        LayoutCase{"NoneAndCenterKeepTheirSize",
                   {},
                   {{A::None, R(7, 9, 27, 19), {}, R(7, 9, 27, 19)},
                    {A::Top, R(0, 0, 1, 52), {}, R(0, 0, 368, 52)},
                    {A::Center, R(0, 0, 100, 100), {}, R(134, 202, 234, 302)}}},
        LayoutCase{"MostEdgesBeforeEdges",
                   {},
                   {{A::Top, R(0, 0, 1, 10), {}, R(20, 0, 368, 10)},
                    {A::MostLeft, R(0, 0, 20, 1), {}, R(0, 0, 20, 452)}}}),
    [](const auto& info) { return info.param.name; });

TEST(Alignment, InvisibleChildrenTakeNoSpace) {
    Tree t(200, 300);
    TControl* a = t.Add(A::Top, R(0, 0, 1, 40));
    TControl* b = t.Add(A::Top, R(0, 40, 1, 80));
    a->SetVisible(false);
    EXPECT_EQ(b->BoundsRect(), R(0, 0, 200, 40));
    a->SetVisible(true);
    EXPECT_EQ(a->BoundsRect(), R(0, 0, 200, 40));
    EXPECT_EQ(b->BoundsRect(), R(0, 40, 200, 80));
}

TEST(Alignment, ResizingTheParentWidensTopControlsAndKeepsTheirHeights) {
    Tree t(368, 452);
    std::vector<TControl*> buttons;
    for (int i = 0; i < 4; ++i) buttons.push_back(t.Add(A::Top, R(0, 50.0f * i, 368, 50.0f * i + 50)));
    TControl* fill = t.Add(A::Client, R(0, 0, 1, 1));
    t.root->SetBounds(0, 0, 500, 600);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(buttons[i]->BoundsRect(), R(0, 50.0f * i, 500, 50.0f * i + 50));
    EXPECT_EQ(fill->BoundsRect(), R(0, 200, 500, 600));
    t.root->SetBounds(0, 0, 300, 150);
    // Too little room: the edges keep their heights, Client shrinks to nothing.
    EXPECT_EQ(buttons[3]->BoundsRect(), R(0, 150, 300, 200));
    EXPECT_EQ(fill->Height(), 0);
}

TEST(Alignment, HeldBackWhileLoadingAndDoneByLoaded) {
    Tree t(368, 452);
    t.root->SetLoading();
    TControl* a = t.Add(A::Top, R(0, 0, 10, 50));
    TControl* b = t.Add(A::Client, R(0, 0, 10, 10));
    EXPECT_EQ(a->BoundsRect(), R(0, 0, 10, 50));
    EXPECT_EQ(b->BoundsRect(), R(0, 0, 10, 10));
    t.root->Loaded();
    EXPECT_EQ(a->BoundsRect(), R(0, 0, 368, 50));
    EXPECT_EQ(b->BoundsRect(), R(0, 50, 368, 452));
}

TEST(Alignment, RelayoutKeepsTheStackedOrder) {
    Tree t(100, 400);
    TControl* a = t.Add(A::Top, R(0, 0, 1, 30));
    TControl* b = t.Add(A::Top, R(0, 30, 1, 60));
    // Growing the first pushes the second down rather than swapping them.
    a->Size().SetHeight(80);
    EXPECT_EQ(a->BoundsRect(), R(0, 0, 100, 80));
    EXPECT_EQ(b->BoundsRect(), R(0, 80, 100, 110));
}

TEST(ControlTree, AbsoluteRectsAndHitTesting) {
    Tree t(368, 480);
    TControl* page = t.Add(A::None, R(0, 28, 368, 480));
    auto* button = new TControl(&t.owner);
    button->SetBounds(0, 50, 368, 50);
    button->SetParent(page);
    EXPECT_EQ(button->AbsoluteRect(), R(0, 78, 368, 128));
    EXPECT_EQ(t.root->ObjectAtPoint({10, 80}), button);
    EXPECT_EQ(t.root->ObjectAtPoint({10, 30}), page);
    button->SetHitTest(false);
    EXPECT_EQ(t.root->ObjectAtPoint({10, 80}), page);
    page->SetVisible(false);
    EXPECT_EQ(t.root->ObjectAtPoint({10, 80}), t.root);
}

TEST(ControlTree, ClippingHidesChildrenOutsideTheParent) {
    Tree t(100, 100);
    TControl* box = t.Add(A::None, R(10, 10, 60, 60));
    auto* inner = new TControl(&t.owner);
    inner->SetBounds(40, 40, 40, 40);  // reaches out of box
    inner->SetParent(box);
    EXPECT_EQ(t.root->ObjectAtPoint({70, 70}), inner);
    box->SetClipChildren(true);
    EXPECT_EQ(t.root->ObjectAtPoint({70, 70}), t.root);
    EXPECT_EQ(t.root->ObjectAtPoint({55, 55}), inner);
}

// Counts the notifications a native overlay relies on.
class Watcher : public TControl {
public:
    using TControl::TControl;
    int absolute = 0, visibility = 0, parent = 0;
    void AbsoluteChanged() override { ++absolute; }
    void VisibilityChanged() override { ++visibility; }
    void ParentChanged() override { ++parent; }
};

TEST(ControlTree, NotificationsReachDescendants) {
    Tree t(300, 300);
    TControl* page = t.Add(A::None, R(0, 0, 100, 100));
    auto* w = new Watcher(&t.owner);
    w->SetParent(page);
    EXPECT_EQ(w->parent, 1);
    w->absolute = w->visibility = 0;

    w->Position().SetX(5);
    EXPECT_EQ(w->absolute, 1);
    w->Size().SetWidth(40);
    EXPECT_EQ(w->absolute, 2);
    page->Position().SetX(30);  // an ancestor moves
    EXPECT_EQ(w->absolute, 3);
    page->SetVisible(false);  // an ancestor is hidden
    EXPECT_EQ(w->visibility, 1);
    EXPECT_FALSE(w->IsVisibleInTree());
    page->SetVisible(true);
    EXPECT_EQ(w->visibility, 2);
    w->SetVisible(false);
    EXPECT_EQ(w->visibility, 3);

    auto* other = new TControl(&t.owner);
    other->SetParent(t.root);
    w->SetParent(other);
    EXPECT_EQ(w->parent, 2);
    EXPECT_EQ(page->Controls().size(), 0u);
    EXPECT_EQ(other->Controls().size(), 1u);
}

TEST(ControlTree, DestroyingAControlDetachesItFromItsParent) {
    Tree t(100, 100);
    TControl* a = t.Add(A::Top, R(0, 0, 1, 30));
    TControl* b = t.Add(A::Top, R(0, 30, 1, 60));
    delete a;
    ASSERT_EQ(t.root->Controls().size(), 1u);
    EXPECT_EQ(b->BoundsRect(), R(0, 0, 100, 30));
}

TEST(ControlTree, SetChildOrderMovesAmongSiblings) {
    Tree t(100, 100);
    TControl* a = t.Add(A::None, R(0, 0, 1, 1));
    TControl* b = t.Add(A::None, R(0, 0, 1, 1));
    TControl* c = t.Add(A::None, R(0, 0, 1, 1));
    c->SetChildOrder(0);
    EXPECT_EQ(t.root->Controls(), (std::vector<TControl*>{c, a, b}));
    a->SetChildOrder(99);
    EXPECT_EQ(t.root->Controls(), (std::vector<TControl*>{c, b, a}));
}

TEST(ControlTree, AControlCannotBecomeItsOwnAncestor) {
    Tree t(100, 100);
    TControl* a = t.Add(A::None, R(0, 0, 1, 1));
    auto* b = new TControl(&t.owner);
    b->SetParent(a);
    EXPECT_THROW(a->SetParent(b), EInvalidOperation);
    EXPECT_EQ(a->ParentControl(), t.root);
}

TEST(ControlReflection, PublishedPropertiesReachTheSubObjects) {
    const ClassInfo& info = TControl::StaticClassInfo();
    Component owner(nullptr);
    auto* c = new TControl(&owner);
    const PropertyInfo* size = info.FindProperty("Size");
    ASSERT_TRUE(size && size->kind == PropertyKind::Object);
    Persistent* sizeObject = size->getObject(*c);
    sizeObject->GetClassInfo().FindProperty("width")->setFloat(*sizeObject, 368);
    sizeObject->GetClassInfo().FindProperty("PlatformDefault")->setOrdinal(*sizeObject, 0);
    EXPECT_EQ(c->Width(), 368);
    EXPECT_FALSE(c->Size().PlatformDefault());

    const PropertyInfo* align = info.FindProperty("Align");
    ASSERT_TRUE(align && align->enumInfo);
    align->setOrdinal(*c, align->enumInfo->Find("client"));
    EXPECT_EQ(c->Align(), TAlignLayout::Client);

    Persistent* position = info.FindProperty("Position")->getObject(*c);
    position->GetClassInfo().FindProperty("Y")->setFloat(*position, 150);
    EXPECT_EQ(c->Position().Y(), 150);
    for (const char* edge : {"Left", "Top", "Right", "Bottom"})
        EXPECT_NE(TBounds::StaticClassInfo().FindProperty(edge), nullptr) << edge;
    EXPECT_NE(info.FindProperty("Margins"), nullptr);
    EXPECT_NE(info.FindProperty("Padding"), nullptr);
    EXPECT_NE(info.FindProperty("TabOrder"), nullptr);
}

}  // namespace
}  // namespace velmora
