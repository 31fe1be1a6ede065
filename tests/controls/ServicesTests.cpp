// The installed services object and the notice of native view places: which
// object serves while others come and go in any order, and observers that
// leave through their tokens.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FormFixture.h"
#include "toolkit/controls/ToolkitServices.h"
#include "toolkit/core/Observers.h"

namespace velmora::testing {
namespace {

// Each object answers with its own number through ownerWindow.
ToolkitServices Numbered(platform::WindowHandle number) {
    return ToolkitServices{.ownerWindow = [number] { return number; }};
}

platform::WindowHandle Serving() {
    const ToolkitServices& services = Services();
    return services.ownerWindow ? services.ownerWindow() : 0;
}

// Three objects installed 1, 2, 3 and removed in every order: after each
// removal the newest object still installed serves, and once all are gone
// the empty set does, never a removed one.
TEST(ServicesOrder, TheNewestObjectStillInstalledServesWhateverTheOrderOfRemoval) {
    std::array<int, 3> order{0, 1, 2};
    do {
        SCOPED_TRACE(std::to_string(order[0] + 1) + std::to_string(order[1] + 1) + std::to_string(order[2] + 1));
        std::array<std::optional<ScopedServices>, 3> installed;
        for (int i = 0; i < 3; ++i) {
            installed[i].emplace(Numbered(static_cast<platform::WindowHandle>(i + 1)));
            EXPECT_EQ(Serving(), static_cast<platform::WindowHandle>(i + 1));
        }
        for (int removed : order) {
            installed[removed].reset();
            platform::WindowHandle expected = 0;
            for (int i = 0; i < 3; ++i)
                if (installed[i]) expected = static_cast<platform::WindowHandle>(i + 1);
            EXPECT_EQ(Serving(), expected);
        }
        EXPECT_FALSE(Services().ownerWindow);
        EXPECT_FALSE(Services().processMessages);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(ServicesOrder, AnObjectInstalledWhileAnOlderOneWasRemovedServesAfterTheNewestGoes) {
    auto first = std::make_optional<ScopedServices>(Numbered(1));
    auto second = std::make_optional<ScopedServices>(Numbered(2));
    first.reset();
    auto third = std::make_optional<ScopedServices>(Numbered(3));
    EXPECT_EQ(Serving(), 3u);
    third.reset();
    EXPECT_EQ(Serving(), 2u);
    second.reset();
    EXPECT_EQ(Serving(), 0u);
}

TEST(Observers, EachTokenEndsOnlyItsOwnSubscriptionEvenForTheSameCallable) {
    ObserverList<int> list;
    std::vector<int> heard;
    const auto record = [&](int value) { heard.push_back(value); };
    Subscription a = list.Subscribe(record);
    Subscription b = list.Subscribe(record);
    list.Notify(1);
    EXPECT_EQ(heard, (std::vector<int>{1, 1}));
    a.Reset();
    list.Notify(2);
    EXPECT_EQ(heard, (std::vector<int>{1, 1, 2}));
    EXPECT_FALSE(a);
    Subscription moved = std::move(b);
    EXPECT_FALSE(b);  // NOLINT: the moved-from token is empty and ends nothing
    b.Reset();
    list.Notify(3);
    EXPECT_EQ(heard, (std::vector<int>{1, 1, 2, 3}));
    moved = Subscription();
    list.Notify(4);
    EXPECT_EQ(heard, (std::vector<int>{1, 1, 2, 3}));
    EXPECT_TRUE(list.Empty());
}

TEST(Observers, AnObserverMayEndItselfOrALaterOneWhileHearingAndNewcomersWaitForTheNextNotice) {
    ObserverList<> list;
    std::vector<std::string> heard;
    Subscription first, second, third, late;
    first = list.Subscribe([&] {
        heard.push_back("first");
        first.Reset();   // itself, while its own call runs
        third.Reset();   // one not yet called
        late = list.Subscribe([&] { heard.push_back("late"); });
    });
    second = list.Subscribe([&] { heard.push_back("second"); });
    third = list.Subscribe([&] { heard.push_back("third"); });
    list.Notify();
    EXPECT_EQ(heard, (std::vector<std::string>{"first", "second"}));
    heard.clear();
    list.Notify();
    EXPECT_EQ(heard, (std::vector<std::string>{"second", "late"}));
}

TEST(Observers, ATokenOutlivingItsListEndsNothing) {
    Subscription token;
    {
        ObserverList<> list;
        token = list.Subscribe([] {});
    }
    token.Reset();
    EXPECT_FALSE(token);
}

class NativeViewPlaces : public HeadlessTest {};

// Activation and a scale change both tell the observers, with the window.
TEST_F(NativeViewPlaces, ActivationAndAScaleChangeTellTheWindowsObservers) {
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.Show();  // its activation waits in the queue
    std::vector<const IWindowRoot*> heard;
    Subscription observer = ObserveNativeViewPlaces([&](IWindowRoot& window) { heard.push_back(&window); });
    host.DispatchPending();
    ASSERT_FALSE(heard.empty());
    const std::size_t afterActivation = heard.size();
    host.ChangeDpi(f.Handle(), 144);
    host.DispatchPending();
    EXPECT_GT(heard.size(), afterActivation);
    EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [&](const IWindowRoot* w) { return w == &f; }));

    observer.Reset();
    heard.clear();
    host.Activate(f.Handle());
    host.ChangeDpi(f.Handle(), 96);
    host.DispatchPending();
    EXPECT_TRUE(heard.empty());
}

}  // namespace
}  // namespace velmora::testing
