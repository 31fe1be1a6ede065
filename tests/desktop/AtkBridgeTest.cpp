// The ATK bridge on a real window: what clients are handed stays valid for
// as long as they may use it.
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "DesktopFixture.h"
#include "backends/gtk/AtkBridge.h"

namespace velmora::gtk::testing {
namespace {

using platform::AccessibleChange;
using platform::AccessibleRole;
using platform::IAccessibleNode;

class Node final : public IAccessibleNode {
public:
    Node(AccessibleRole role, std::string name, Node* parent = nullptr) : role_(role), name(std::move(name)), parent_(parent) {
        if (parent) parent->children.push_back(this);
    }
    AccessibleRole Role() const override { return role_; }
    std::string Name() const override { return name; }
    unsigned States() const override { return states; }
    platform::RectI Bounds() const override { return {0, 0, 10, 10}; }
    std::vector<std::string> Actions() const override { return {}; }
    bool DoAction(int) override { return false; }
    bool GrabFocus() override { return false; }
    IAccessibleNode* Parent() const override { return parent_; }
    std::vector<IAccessibleNode*> Children() const override { return children; }

    std::string name;
    unsigned states = platform::AccessibleEnabled | platform::AccessibleVisible | platform::AccessibleShowing;
    std::vector<IAccessibleNode*> children;

private:
    AccessibleRole role_;
    Node* parent_;
};

// What a client heard of a node's children: the detail, and whether the
// object it named could still be asked about itself.
struct Heard {
    std::string detail;
    AtkObject* child = nullptr;
    bool live = false;
    bool defunct = false;
};

void OnChildrenChanged(AtkObject*, guint, gpointer child, gpointer data) {
    auto* heard = static_cast<std::vector<Heard>*>(data);
    Heard h;
    h.child = ATK_OBJECT(child);
    h.live = G_IS_OBJECT(child) && ATK_IS_OBJECT(child);
    if (h.live) {
        GObjectPtr<AtkStateSet> set(atk_object_ref_state_set(ATK_OBJECT(child)));
        h.defunct = set && atk_state_set_contains_state(set.get(), ATK_STATE_DEFUNCT);
    }
    heard->push_back(h);
}

class AtkBridgeTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) return;
        window_ = ShownWindow(events_);
        bridge_ = dynamic_cast<AtkBridge*>(platform_->AccessibilityEvents());
        ASSERT_NE(bridge_, nullptr);
    }
    void TearDown() override {
        if (bridge_) platform_->PublishAccessibleTree(window_, nullptr);
        DesktopTest::TearDown();
    }

    RecordingWindow events_;
    platform::WindowHandle window_ = 0;
    AtkBridge* bridge_ = nullptr;
    Node root_{AccessibleRole::Frame, "Тальмерин"};
    Node list_{AccessibleRole::Panel, "Оглавление", &root_};
};

TEST_F(AtkBridgeTest, AChildReplacedByAnotherIsToldAsOneRemoveOfALiveObjectAndOneAdd) {
    auto first = std::make_unique<Node>(AccessibleRole::PushButton, "Глава 1", &list_);
    platform_->PublishAccessibleTree(window_, &root_);
    AtkObject* list = bridge_->Wrap(&list_);
    ASSERT_NE(list, nullptr);
    bridge_->Changed(list_, AccessibleChange::Children);  // what a client was told: the first child
    AtkObject* firstObject = bridge_->Wrap(first.get());

    std::vector<Heard> heard;
    const gulong handler = g_signal_connect(list, "children-changed::remove", G_CALLBACK(OnChildrenChanged), &heard);
    const gulong added = g_signal_connect(list, "children-changed::add", G_CALLBACK(OnChildrenChanged), &heard);
    // The control goes (the core removes it before it is destroyed), and a
    // new one of the same kind takes its place.
    list_.children.clear();
    bridge_->Removed(*first);
    first.reset();
    Node second(AccessibleRole::PushButton, "Глава 2", &list_);
    bridge_->Changed(list_, AccessibleChange::Children);
    g_signal_handler_disconnect(list, handler);
    g_signal_handler_disconnect(list, added);

    ASSERT_EQ(heard.size(), 2u) << "one remove and one add";
    EXPECT_EQ(heard[0].child, firstObject);
    EXPECT_TRUE(heard[0].live) << "the removed child is still an object when it is named";
    EXPECT_TRUE(heard[0].defunct);
    EXPECT_EQ(heard[1].child, bridge_->Wrap(&second));
    EXPECT_TRUE(heard[1].live && !heard[1].defunct);
    list_.children.clear();
    bridge_->Removed(second);
}

TEST_F(AtkBridgeTest, AWindowDestroyedBehindTheBridgesBackLeavesNothingToReachIt) {
    Node button(AccessibleRole::PushButton, "Глава 1", &list_);
    platform_->PublishAccessibleTree(window_, &root_);
    ASSERT_NE(bridge_->Wrap(&button), nullptr);
    ASSERT_NE(bridge_->AreaOf(&button), nullptr);

    gtk_widget_destroy(platform_->TopLevelWidget(window_));
    PumpFor(50);
    EXPECT_EQ(bridge_->Wrap(&root_), nullptr);
    EXPECT_EQ(bridge_->AreaOf(&button), nullptr);
    // Announcements for the gone window's nodes reach no widget.
    button.states |= platform::AccessibleFocused;
    bridge_->Changed(button, AccessibleChange::States);
    bridge_->Changed(button, AccessibleChange::Bounds);
    list_.children.clear();
    bridge_->Removed(button);
}

TEST_F(AtkBridgeTest, ANameReturnedEarlierStaysReadableAfterTheNameChanges) {
    Node button(AccessibleRole::PushButton, "Зарождение и развитие мореплавания", &list_);
    platform_->PublishAccessibleTree(window_, &root_);
    AtkObject* object = bridge_->Wrap(&button);
    ASSERT_NE(object, nullptr);
    const gchar* before = atk_object_get_name(object);
    button.name = "Современные способы навигации";
    bridge_->Changed(button, AccessibleChange::Name);
    const gchar* after = atk_object_get_name(object);
    EXPECT_STREQ(before, "Зарождение и развитие мореплавания");
    EXPECT_STREQ(after, "Современные способы навигации");
    list_.children.clear();
    bridge_->Removed(button);
}

}  // namespace
}  // namespace velmora::gtk::testing
