#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "FormFixture.h"
#include "toolkit/controls/ToolkitServices.h"
#include "toolkit/core/ComponentRef.h"

namespace velmora::testing {
namespace {

// The headless system places new windows at (120, 80), 800 x 600 outside,
// with a frame of 8 + 8 pixels across and 31 + 8 down.
constexpr platform::PointI kDefaultPos{120, 80};

class FormWindowTest : public HeadlessTest {
protected:
    void TearDown() override {
        HeadlessTest::TearDown();
        services.reset();
    }
    // What an application would lend the windows; each test installs what it needs.
    void Install(ToolkitServices lent) { services.emplace(std::move(lent)); }
    std::optional<ScopedServices> services{std::in_place};
};

struct DpiCase {
    int dpi;
};

class FirstShowing : public FormWindowTest, public ::testing::WithParamInterface<DpiCase> {};

TEST_P(FirstShowing, KeepsTheSystemPositionAndScalesTheClientSize) {
    const int dpi = GetParam().dpi;
    const double scale = dpi / 96.0;
    TestForm& f = MakeForm(dpi);
    f.Build(368, 480);

    // Loading stored the description's corner without moving the window or
    // counting it as an explicit placement.
    EXPECT_EQ(f.Left(), 0);
    EXPECT_EQ(f.Top(), 0);
    EXPECT_FALSE(f.LocationChanged());
    EXPECT_FALSE(f.SizeChanged());
    EXPECT_FALSE(host.IsWindowVisible(f.Handle()));
    EXPECT_EQ(ClientPixels(), (platform::SizeI{static_cast<int>(std::ceil(368 * scale)),
                                                static_cast<int>(std::ceil(480 * scale))}));

    f.Show();
    EXPECT_TRUE(host.IsWindowVisible(f.Handle()));
    EXPECT_EQ(host.ActiveWindow(), f.Handle());
    EXPECT_TRUE(f.Visible());
    EXPECT_FALSE(f.FormState() & fsWasNotShown);
    EXPECT_EQ(OuterPixels().left, kDefaultPos.x);
    EXPECT_EQ(OuterPixels().top, kDefaultPos.y);
    EXPECT_EQ(f.Left(), kDefaultPos.x);
    EXPECT_EQ(f.Top(), kDefaultPos.y);

    // The outer size passes once through whole units; the pixels it was read
    // from come back unchanged, so the client area keeps its exact size.
    EXPECT_EQ(ClientPixels(), (platform::SizeI{static_cast<int>(std::ceil(368 * scale)),
                                                static_cast<int>(std::ceil(480 * scale))}));
    // Width and Height are the outer size in whole units.
    EXPECT_EQ(f.Width(), static_cast<int>(std::ceil(OuterPixels().Width() / scale - 1e-4)));
    EXPECT_EQ(f.Height(), static_cast<int>(std::ceil(OuterPixels().Height() / scale - 1e-4)));
    // The client area control fills the client in units.
    EXPECT_NEAR(f.ClientArea().Width(), ClientPixels().width / scale, 1e-3);
    EXPECT_NEAR(f.ClientArea().Height(), ClientPixels().height / scale, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Dpis, FirstShowing, ::testing::Values(DpiCase{96}, DpiCase{120}, DpiCase{144}),
                         [](const auto& info) { return std::to_string(info.param.dpi); });

TEST_F(FormWindowTest, ClientSizeAt120DpiIs460By600BeforeShowing) {
    TestForm& f = MakeForm(120);
    f.Build(368, 480);
    EXPECT_EQ(ClientPixels(), (platform::SizeI{460, 600}));
    EXPECT_FLOAT_EQ(f.ClientWidth(), 368);
    EXPECT_FLOAT_EQ(f.ClientHeight(), 480);
    // 476 x 639 outer pixels read back as whole units.
    EXPECT_EQ(f.Width(), 381);
    EXPECT_EQ(f.Height(), 512);
}

TEST_F(FormWindowTest, CodeThatMovesTheWindowBeforeShowingGetsItsOwnPlace) {
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.SetLeft(300);
    f.SetTop(200);
    EXPECT_TRUE(f.LocationChanged());
    EXPECT_FALSE(f.SizeChanged());
    f.Show();
    EXPECT_EQ(OuterPixels().left, 300);
    EXPECT_EQ(OuterPixels().top, 200);
    EXPECT_EQ(ClientPixels(), (platform::SizeI{368, 480}));
}

TEST_F(FormWindowTest, CodeThatResizesBeforeShowingKeepsTheSystemPosition) {
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.SetClientWidth(500);
    EXPECT_TRUE(f.SizeChanged());
    EXPECT_FALSE(f.LocationChanged());
    f.Show();
    EXPECT_EQ(OuterPixels().left, kDefaultPos.x);
    EXPECT_EQ(ClientPixels(), (platform::SizeI{500, 480}));
}

TEST_F(FormWindowTest, BoundsAfterTheFirstShowingActAtOnce) {
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.Show();
    f.SetLeft(10);
    EXPECT_EQ(OuterPixels().left, 10);
    EXPECT_FALSE(f.LocationChanged());
    f.SetWidth(500);
    EXPECT_EQ(OuterPixels().Width(), 500);
    EXPECT_EQ(ClientPixels().width, 484);
    EXPECT_FLOAT_EQ(f.ClientWidth(), 484);
}

TEST_F(FormWindowTest, ADpiChangeToTheSameDpiChangesNothing) {
    TestForm& f = MakeForm(120);
    f.Build(368, 480);
    f.Show();
    const auto outer = OuterPixels();
    const auto client = ClientPixels();
    const float units = f.ClientWidth();
    host.ChangeDpi(f.Handle(), 120);
    host.DispatchPending();
    EXPECT_EQ(OuterPixels(), outer);
    EXPECT_EQ(ClientPixels(), client);
    EXPECT_FLOAT_EQ(f.ClientWidth(), units);
    EXPECT_FLOAT_EQ(f.Scale(), 1.25f);
}

TEST_F(FormWindowTest, ADpiChangeKeepsTheCornerAndTheClientSizeInUnits) {
    TestForm& f = MakeForm(96);
    f.Build(368, 480, [](TestForm& form) { form.AddButton(nullptr, "B", TAlignLayout::Top, 0, 50, 0); });
    f.Show();
    const auto before = OuterPixels();
    host.ChangeDpi(f.Handle(), 144);
    host.DispatchPending();
    EXPECT_FLOAT_EQ(f.Scale(), 1.5f);
    EXPECT_EQ(ClientPixels(), (platform::SizeI{552, 720}));
    EXPECT_EQ(OuterPixels().left, before.left);
    EXPECT_EQ(OuterPixels().top, before.top);
    EXPECT_FLOAT_EQ(f.ClientWidth(), 368);
    EXPECT_FLOAT_EQ(f.ClientHeight(), 480);
    // Layout is in units, so it does not change with the scale.
    EXPECT_EQ(static_cast<TControl*>(f.FindComponent("B"))->Width(), 368);
    // The window is drawn again, at the new scale.
    const auto* canvas = host.LastPaint(f.Handle());
    ASSERT_NE(canvas, nullptr);
    EXPECT_FLOAT_EQ(canvas->Scale(), 1.5f);
}

TEST_F(FormWindowTest, ResizingByTheUserRelaysTheClientArea) {
    TestForm& f = MakeForm();
    TButton* b = nullptr;
    f.Build(368, 480, [&](TestForm& form) { b = form.AddButton(nullptr, "B", TAlignLayout::Top, 0, 50, 0); });
    f.Show();
    host.MoveByUser(f.Handle(), {10, 20, 10 + 516, 20 + 639});
    EXPECT_EQ(f.Left(), 10);
    EXPECT_EQ(f.Top(), 20);
    EXPECT_EQ(f.Width(), 516);
    EXPECT_FLOAT_EQ(f.ClientWidth(), 500);
    EXPECT_FLOAT_EQ(f.ClientHeight(), 600);
    EXPECT_EQ(b->Width(), 500);
    EXPECT_EQ(b->Height(), 50);
}

TEST_F(FormWindowTest, LayoutWaitsForTheEndOfLoading) {
    TestForm& f = MakeForm();
    TButton* b = nullptr;
    f.Build(368, 480, [&](TestForm& form) {
        b = form.AddButton(nullptr, "B", TAlignLayout::Top, 0, 50, 0);
        EXPECT_EQ(b->Width(), 100);  // still its own width while loading
    });
    EXPECT_EQ(b->Width(), 368);
}

TEST_F(FormWindowTest, CloseOfTheMainWindowAsksTheApplication) {
    int terminations = 0;
    Install({.mainFormClosed = [&](IWindowRoot&) {
        ++terminations;
        return true;
    }});
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.Show();
    host.CloseRequest(f.Handle());
    host.DispatchPending();
    EXPECT_EQ(terminations, 1);
    // It stays on screen until the application tears it down.
    EXPECT_TRUE(host.IsWindowVisible(f.Handle()));
}

TEST_F(FormWindowTest, ACloseWhileClosingIsIgnored) {
    int terminations = 0, queries = 0;
    Install({.mainFormClosed = [&](IWindowRoot&) {
        ++terminations;
        return true;
    }});
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.OnCloseQuery = [&](Component*, bool& canClose) {
        ++queries;
        f.Close();  // re-entrant request
        canClose = true;
    };
    f.Close();
    EXPECT_EQ(queries, 1);
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(f.FormState() & fsClosing);
    f.Close();  // the guard was lifted
    EXPECT_EQ(terminations, 2);
}

TEST_F(FormWindowTest, CloseQueryAndCloseActionCanStopTheClose) {
    int terminations = 0;
    Install({.mainFormClosed = [&](IWindowRoot&) {
        ++terminations;
        return true;
    }});
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.OnCloseQuery = [](Component*, bool& canClose) { canClose = false; };
    f.Close();
    EXPECT_EQ(terminations, 0);
    f.OnCloseQuery = nullptr;
    TCloseAction seen = TCloseAction::caFree;
    f.OnClose = [&](Component*, TCloseAction& action) {
        seen = action;
        action = TCloseAction::caNone;
    };
    f.Close();
    EXPECT_EQ(seen, TCloseAction::caHide);
    EXPECT_EQ(terminations, 0);
}

TEST_F(FormWindowTest, AnOrdinaryWindowIsHiddenByClose) {
    Install({.mainFormClosed = [](IWindowRoot&) { return false; }});
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.Show();
    f.Close();
    EXPECT_FALSE(f.Visible());
    EXPECT_FALSE(host.IsWindowVisible(f.Handle()));
}

// A window freed by its close action goes from the event queue. Its owner may
// free it before the queue gets there; the queued delete must then do nothing
// (it used to delete the window a second time).
TEST_F(FormWindowTest, AWindowFreedByItsCloseActionIsDeletedOnce) {
    struct Case {
        const char* name;
        bool ownerFreesFirst;
    };
    for (const Case c : {Case{"the queue frees it", false}, Case{"its owner frees it first", true}}) {
        SCOPED_TRACE(c.name);
        auto owner = std::make_unique<Component>(nullptr);
        auto* f = new TestForm(owner.get());
        f->Build(368, 480);
        f->Show();
        f->OnClose = [](Component*, TCloseAction& action) { action = TCloseAction::caFree; };
        const ComponentRef<TCustomForm> window(f);
        const platform::WindowHandle handle = f->Handle();
        f->Close();
        EXPECT_TRUE(window) << "freed inside its own Close";
        if (c.ownerFreesFirst) owner.reset();
        host.DispatchPending();
        EXPECT_FALSE(window);
        ASSERT_NE(host.Window(handle), nullptr);
        EXPECT_TRUE(host.Window(handle)->destroyed);
        if (owner) {
            EXPECT_TRUE(owner->Components().empty()) << "the owner still lists the freed window";
        }
        owner.reset();
    }
}

TEST_F(FormWindowTest, ActivationReachesTheObservers) {
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.Show();
    int seen = 0;
    const Subscription observer = ObserveNativeViewPlaces([&](IWindowRoot& form) {
        EXPECT_EQ(&form, &f);
        ++seen;
    });
    host.Activate(f.Handle());
    host.DispatchPending();
    EXPECT_GE(seen, 1);
}

TEST_F(FormWindowTest, CaptionAndDesignerPropertiesAreKept) {
    std::string changed;
    Install({.captionChanged = [&](IWindowRoot& form) {
        changed = dynamic_cast<TCustomForm&>(form.WindowComponent()).Caption();
    }});
    TestForm& f = MakeForm();
    f.Build(368, 480);
    f.SetCaption("Тальмерин");
    EXPECT_EQ(host.Window(f.Handle())->title, "Тальмерин");
    EXPECT_EQ(changed, "Тальмерин");

    const ClassInfo& info = f.GetClassInfo();
    for (const char* name : {"Left", "Top", "Caption", "ClientHeight", "ClientWidth", "FormFactor", "Position",
                             "BorderStyle", "FormStyle", "WindowState", "BorderIcons"})
        EXPECT_NE(info.FindProperty(name), nullptr) << name;
    Persistent* factor = info.FindProperty("FormFactor")->getObject(f);
    const PropertyInfo* devices = factor->GetClassInfo().FindProperty("Devices");
    ASSERT_TRUE(devices && devices->enumInfo);
    devices->setOrdinal(*factor, 1 << devices->enumInfo->Find("Desktop"));
    EXPECT_EQ(f.FormFactor().Devices(), 1u);
}

}  // namespace
}  // namespace velmora::testing
