#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "toolkit/controls/Control.h"

namespace velmora {
namespace {

RectF R(float l, float t, float r, float b) { return {l, t, r, b}; }

// A parent that is not part of any form, so layout runs at once.
struct Tree {
    Component owner{nullptr};
    TControl* root = nullptr;
    Tree(float w, float h) {
        root = new TControl(&owner);
        root->SetBounds(0, 0, w, h);
    }
    TControl* Add(TAlignLayout align, float x, float y, float w, float h) {
        auto* c = new TControl(&owner);
        c->SetBounds(x, y, w, h);
        c->SetParent(root);
        c->SetAlign(align);
        return c;
    }
};

TEST(Alignment, TopStacksByVerticalPositionAndClientTakesTheRest) {
    Tree t(368, 452);
    // Added out of order: the stacking follows Position.Y, not child order.
    TControl* c = t.Add(TAlignLayout::Top, 0, 100, 368, 50);
    TControl* a = t.Add(TAlignLayout::Top, 0, 0, 368, 50);
    TControl* b = t.Add(TAlignLayout::Top, 0, 50, 368, 50);
    TControl* rest = t.Add(TAlignLayout::Client, 0, 0, 10, 10);
    EXPECT_EQ(a->BoundsRect(), R(0, 0, 368, 50));
    EXPECT_EQ(b->BoundsRect(), R(0, 50, 368, 100));
    EXPECT_EQ(c->BoundsRect(), R(0, 100, 368, 150));
    EXPECT_EQ(rest->BoundsRect(), R(0, 150, 368, 452));
}

}  // namespace
}  // namespace velmora
