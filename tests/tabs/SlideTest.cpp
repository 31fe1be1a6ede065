#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>
#include <stdexcept>

#include "TabFixture.h"
#include "backends/headless/RecordingCanvas.h"
#include "base/Exceptions.h"
#include "toolkit/shell/Application.h"
#include "platform/Platform.h"

namespace velmora::tabtest {
namespace {

RectF Rect(float l, float t, float r, float b) { return {l, t, r, b}; }

float Expected(float start, float end, std::uint64_t elapsedUs) {
    const double t = std::min(0.3, static_cast<double>(elapsedUs) / 1e6);
    return static_cast<float>(std::nearbyint(start + (end - start) * (t / 0.3)));
}

class SlideTest : public TabFixture {
protected:
    struct Sample {
        std::uint64_t us;
        float outX;
        float inX;
    };

    // Records both contents' positions at every realignment.
    void RecordPositions(int outgoing, int incoming) {
        onRealign = [this, outgoing, incoming] {
            samples.push_back({host.NowMicroseconds(), Content(outgoing).Position().X(),
                               Content(incoming).Position().X()});
        };
    }

    // Checks the state at rest: the active page fills the page area, every
    // other page is hidden, nothing moves.
    void ExpectAtRest(int active) {
        EXPECT_FALSE(tabs->IsTransitionRunning());
        EXPECT_FALSE(tabs->ClipChildren());
        EXPECT_EQ(tabs->TransitionOutgoing(), nullptr);
        EXPECT_EQ(tabs->TransitionIncoming(), nullptr);
        EXPECT_EQ(AnimationClock::Instance().RunningCount(), 0);
        EXPECT_FALSE(AnimationClock::Instance().TimerActive());
        EXPECT_EQ(tabs->TabIndex(), active);
        for (int i = 0; i < tabs->TabCount(); ++i) {
            EXPECT_EQ(Content(i).Visible(), i == active) << "page " << i;
            EXPECT_EQ(Content(i).BoundsRect(), Rect(0, 28, 368, 480)) << "page " << i;
            EXPECT_EQ(pages[static_cast<std::size_t>(i)]->IsSelected(), i == active) << "page " << i;
        }
    }

    std::vector<Sample> samples;
};

TEST_F(SlideTest, NextSlidesBothPagesLeftInThirtyTenMillisecondSteps) {
    BuildTwoPages();
    RecordPositions(0, 1);
    const int realignsBefore = realigns;
    bool checkedDuring = false;
    onProcessMessages = [&] {
        if (checkedDuring) return;
        checkedDuring = true;
        // Everything but the movement has switched before the first step.
        EXPECT_TRUE(tabs->IsTransitionRunning());
        EXPECT_TRUE(tabs->ClipChildren());
        EXPECT_EQ(tabs->TabIndex(), 1);
        EXPECT_TRUE(pages[1]->IsSelected());
        EXPECT_FALSE(pages[0]->IsSelected());
        EXPECT_TRUE(Content(0).Visible());
        EXPECT_TRUE(Content(1).Visible());
        EXPECT_EQ(tabs->TransitionOutgoing(), pages[0]);
        EXPECT_EQ(tabs->TransitionIncoming(), pages[1]);
        EXPECT_EQ(Content(1).BoundsRect(), Rect(368, 28, 736, 480));
    };
    const std::uint64_t t0 = host.NowMicroseconds();

    EXPECT_TRUE(tabs->Next(TTabTransition::Slide, TTabTransitionDirection::Normal));

    EXPECT_TRUE(checkedDuring);
    EXPECT_EQ(host.NowMicroseconds() - t0, 300000u) << "the call returns when the slide has ended";
    // Item-4 change, start of the outgoing movement, 30 steps, finishing step.
    EXPECT_EQ(realigns - realignsBefore, 33);
    ASSERT_EQ(samples.size(), 33u);
    for (std::size_t k = 1; k <= 30; ++k) {
        const Sample& s = samples[k + 1];
        EXPECT_EQ(s.us - t0, k * 10000) << "step " << k;
        EXPECT_EQ(s.outX, Expected(0, -368, s.us - t0)) << "step " << k;
        EXPECT_EQ(s.inX, Expected(368, 0, s.us - t0)) << "step " << k;
        EXPECT_EQ(s.inX - s.outX, 368) << "edge to edge at step " << k;
    }
    EXPECT_EQ(samples[2].outX, -12);   // 368 / 30 = 12.27
    EXPECT_EQ(samples[16].outX, -184);  // halfway
    ExpectAtRest(1);
}

TEST_F(SlideTest, IrregularStepsAdvanceByRealElapsedTime) {
    BuildTwoPages();
    RecordPositions(0, 1);
    const std::vector<double> lateness{3, 0, 7, 1, 12, 0.5, 25, 4};
    std::size_t call = 0;
    // Each pass through the wait loop delivers its timer message late by a
    // varying amount, so the steps are unevenly spaced.
    onProcessMessages = [&] { host.Advance(lateness[call++ % lateness.size()]); };
    const std::uint64_t t0 = host.NowMicroseconds();

    EXPECT_TRUE(tabs->Next(TTabTransition::Slide));

    ASSERT_GE(samples.size(), 5u);
    std::set<std::uint64_t> gaps;
    for (std::size_t i = 2; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        EXPECT_EQ(s.outX, Expected(0, -368, s.us - t0)) << "at " << (s.us - t0) << " us";
        EXPECT_EQ(s.inX, Expected(368, 0, s.us - t0)) << "at " << (s.us - t0) << " us";
        gaps.insert(s.us - samples[i - 1].us);
    }
    EXPECT_GT(gaps.size(), 2u) << "the steps really were irregular";
    EXPECT_EQ(samples.back().outX, -368);
    EXPECT_EQ(samples.back().inX, 0);
    ExpectAtRest(1);
}

struct DirectionCase {
    const char* name;
    int from;
    bool next;
    TTabTransitionDirection direction;
    float outTarget;  // where the outgoing page goes, relative to its start
};

class SlideDirection : public SlideTest, public ::testing::WithParamInterface<DirectionCase> {};

TEST_P(SlideDirection, MovesBothPagesTheSameWay) {
    const DirectionCase& c = GetParam();
    Build({{"A"}, {"B"}}, c.from);
    const int to = c.next ? c.from + 1 : c.from - 1;
    RecordPositions(c.from, to);
    EXPECT_TRUE(c.next ? tabs->Next(TTabTransition::Slide, c.direction)
                       : tabs->Previous(TTabTransition::Slide, c.direction));
    ASSERT_EQ(samples.size(), 33u);
    const Sample& first = samples[2];
    EXPECT_EQ(first.outX, Expected(0, c.outTarget, 10000));
    EXPECT_EQ(first.inX, Expected(-c.outTarget, 0, 10000));
    EXPECT_EQ(samples.back().outX, c.outTarget);
    EXPECT_EQ(samples.back().inX, 0);
    ExpectAtRest(to);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SlideDirection,
    ::testing::Values(DirectionCase{"NextNormalSlidesLeft", 0, true, TTabTransitionDirection::Normal, -368},
                      DirectionCase{"NextReversedSlidesRight", 0, true, TTabTransitionDirection::Reversed, 368},
                      DirectionCase{"PreviousNormalSlidesRight", 1, false, TTabTransitionDirection::Normal, 368},
                      DirectionCase{"PreviousReversedSlidesLeft", 1, false, TTabTransitionDirection::Reversed, -368}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SlideTest, RequestsDuringASlideAreRefused) {
    BuildTwoPages();
    RecordPositions(0, 1);
    int checks = 0;
    onProcessMessages = [&] {
        if (host.NowMicroseconds() < 100000 || checks > 0) return;
        ++checks;
        const float outBefore = Content(0).Position().X();
        EXPECT_FALSE(tabs->Next(TTabTransition::Slide));
        EXPECT_FALSE(tabs->Previous(TTabTransition::Slide));
        EXPECT_FALSE(tabs->Previous(TTabTransition::None));
        EXPECT_FALSE(tabs->First(TTabTransition::None));
        EXPECT_FALSE(tabs->GotoVisibleTab(0));
        EXPECT_EQ(tabs->TabIndex(), 1);
        EXPECT_TRUE(tabs->IsTransitionRunning());
        EXPECT_EQ(Content(0).Position().X(), outBefore);
    };
    EXPECT_TRUE(tabs->Next(TTabTransition::Slide));
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(samples.size(), 33u) << "the running slide went on undisturbed";
    ExpectAtRest(1);
}

TEST_F(SlideTest, HeaderPressDuringASlideSwitchesAtOnceAndWinsAtTheEnd) {
    BuildTwoPages();
    int phase = 0;
    onProcessMessages = [&] {
        if (phase == 0 && host.NowMicroseconds() >= 100000) {
            phase = 1;
            platform::PointI p = HeaderCentre(0);
            host.Press(Window(), p.x, p.y);
            host.Release(Window(), p.x, p.y);
        } else if (phase == 1) {
            phase = 2;
            EXPECT_EQ(tabs->TabIndex(), 0) << "the press switched at once";
            EXPECT_TRUE(pages[0]->IsSelected());
            EXPECT_TRUE(tabs->IsTransitionRunning()) << "the slide runs on";
            EXPECT_TRUE(Content(1).Visible());
        }
    };
    EXPECT_FALSE(tabs->Next(TTabTransition::Slide)) << "the target is no longer the active page";
    EXPECT_EQ(phase, 2);
    EXPECT_EQ(form->Focused(), pages[0]);
    ExpectAtRest(0);
}

TEST_F(SlideTest, CtrlTabDuringASlideSwitchesAtOnce) {
    BuildTwoPages();
    pages[0]->SetFocus();
    bool sent = false;
    onProcessMessages = [&] {
        if (sent || host.NowMicroseconds() < 50000) return;
        sent = true;
        host.Key(platform::Key::Tab, platform::ShiftCtrl);
    };
    EXPECT_FALSE(tabs->Next(TTabTransition::Slide));
    EXPECT_TRUE(sent);
    EXPECT_EQ(form->Focused(), pages[0]);
    ExpectAtRest(0);
}

TEST_F(SlideTest, ErrorEscapingTheWaitLeavesTheControlAtRest) {
    BuildTwoPages();
    onProcessMessages = [&] {
        if (host.NowMicroseconds() >= 120000) throw EInvalidOperation("handler failed");
    };
    EXPECT_THROW(tabs->Next(TTabTransition::Slide), EInvalidOperation);
    ExpectAtRest(1);

    // The control is usable again: a slide back runs to its end.
    onProcessMessages = nullptr;
    EXPECT_TRUE(tabs->Previous(TTabTransition::Slide));
    ExpectAtRest(0);
}

TEST_F(SlideTest, ErrorFromTheRealignmentInAStepLeavesTheControlAtRest) {
    BuildTwoPages();
    onRealign = [&] {
        if (host.NowMicroseconds() >= 50000) throw EInvalidOperation("realign failed");
    };
    EXPECT_THROW(tabs->Next(TTabTransition::Slide), EInvalidOperation);
    onRealign = nullptr;
    ExpectAtRest(1);
}

TEST_F(SlideTest, UnpreparedIncomingPageIsRenderedOffscreenOnce) {
    BuildTwoPages();
    const int before = host.OffscreenCanvasesCreated();
    ASSERT_TRUE(tabs->Next(TTabTransition::Slide));
    EXPECT_EQ(host.OffscreenCanvasesCreated(), before + 1);
    EXPECT_TRUE(Content(0).KeepsPreparedAppearance());
    EXPECT_TRUE(Content(1).KeepsPreparedAppearance());
    ASSERT_TRUE(tabs->Previous(TTabTransition::Slide));
    ASSERT_TRUE(tabs->Next(TTabTransition::Slide));
    EXPECT_EQ(host.OffscreenCanvasesCreated(), before + 1) << "marks stay set after a slide";
}

// Called directly during a slide, the operation first finishes the running
// slide, then starts its own.
TEST_F(SlideTest, DirectTransitionDuringASlideFinishesTheRunningOneFirst) {
    BuildTwoPages();
    bool nested = false;
    onProcessMessages = [&] {
        if (nested || host.NowMicroseconds() < 100000) return;
        nested = true;
        tabs->SetActiveTabWithTransition(pages[0], TTabTransition::Slide, TTabTransitionDirection::Reversed);
        EXPECT_EQ(tabs->TabIndex(), 0);
        EXPECT_FALSE(tabs->IsTransitionRunning());
    };
    EXPECT_FALSE(tabs->Next(TTabTransition::Slide));
    EXPECT_TRUE(nested);
    ExpectAtRest(0);
}

TEST_F(SlideTest, ResizeDuringASlideIsAppliedWhenItEnds) {
    BuildTwoPages();
    bool resized = false;
    onProcessMessages = [&] {
        if (resized || host.NowMicroseconds() < 100000) return;
        resized = true;
        form->SetClientWidth(400);
        EXPECT_EQ(Content(1).Width(), 368) << "the slide keeps its geometry";
    };
    EXPECT_TRUE(tabs->Next(TTabTransition::Slide));
    EXPECT_EQ(Content(1).BoundsRect(), Rect(0, 28, 400, 480));
    EXPECT_FALSE(Content(0).Visible());
}

// During a slide the strip is drawn first, then the outgoing page, then the
// incoming one over it, whatever the order of the pages; all clipped to the
// tab control.
TEST_F(SlideTest, PaintingOrderDuringASlide) {
    for (bool forward : {true, false}) {
        pages.clear();
        buttons.clear();
        Build({{"A"}, {"B"}}, forward ? 0 : 1);
        buttons[0]->SetText("first page");
        buttons[1]->SetText("second page");
        std::vector<std::string> texts;
        std::vector<RectF> clips;
        onProcessMessages = [&] {
            if (!texts.empty() || host.NowMicroseconds() < 100000) return;
            headless::RecordingCanvas canvas;
            form->ClientArea().PaintTree(canvas);
            texts = canvas.Texts();
            for (const auto& op : canvas.Ops())
                if (op.kind == headless::CanvasOp::Kind::Text) clips.push_back(op.clip);
        };
        ASSERT_TRUE(forward ? tabs->Next(TTabTransition::Slide) : tabs->Previous(TTabTransition::Slide));
        const std::vector<std::string> expected =
            forward ? std::vector<std::string>{"A", "B", "first page", "second page"}
                    : std::vector<std::string>{"A", "B", "second page", "first page"};
        EXPECT_EQ(texts, expected) << (forward ? "forward" : "backward");
        for (const RectF& clip : clips) {
            EXPECT_GE(clip.left, 0);
            EXPECT_LE(clip.right, 368);
        }
    }
}

// Closing the main window during a slide ends the application, which removes
// every timer: the slide must not wait forever for steps that never come.
TEST_F(SlideTest, ApplicationWindingDownDuringASlideEndsIt) {
    platform::Platform& layer = host;
    platform::SetCurrentPlatform(&layer);
    TApplication* saved = Application;
    auto app = std::make_unique<TApplication>();
    Application = app.get();
    // The application's services, with the fixture's counting dispatch.
    ToolkitServices withFixtureDispatch = Services();
    withFixtureDispatch.processMessages = FixtureServices().processMessages;
    auto dispatch = std::make_optional<ScopedServices>(withFixtureDispatch);
    BuildTwoPages();
    onProcessMessages = [&] {
        if (host.NowMicroseconds() >= 100000) app->Terminate();
    };
    EXPECT_TRUE(tabs->Next(TTabTransition::Slide));
    EXPECT_LT(host.NowMicroseconds(), 300000u);
    EXPECT_EQ(Content(1).Position().X(), 0);
    ExpectAtRest(1);
    onProcessMessages = nullptr;
    form.reset();
    dispatch.reset();
    app.reset();
    Application = saved;
    platform::SetCurrentPlatform(&host);
}

// A quit request that arrives while a slide waits is taken by the
// application's own dispatch, as in its loop: the application has ended, the
// slide stops waiting at once, and nothing re-posts the request.
TEST_F(SlideTest, AQuitRequestDuringASlideEndsTheApplicationAndTheSlide) {
    auto app = std::make_unique<TApplication>();
    BuildTwoPages();
    host.At(100, [&] { host.PostQuitMessage(); });
    EXPECT_TRUE(tabs->Next(TTabTransition::Slide));
    EXPECT_TRUE(app->Terminated());
    EXPECT_LT(host.NowMicroseconds(), 300000u);
    EXPECT_EQ(Content(1).Position().X(), 0);
    ExpectAtRest(1);
    bool quitLeft = false;
    for (platform::Message m; host.PeekMessage(m);) quitLeft = quitLeft || m.kind == platform::MessageKind::Quit;
    EXPECT_FALSE(quitLeft);
    form.reset();
    app.reset();
}

TEST_F(SlideTest, TabControlDestroyedDuringItsSlide) {
    BuildTwoPages();
    onProcessMessages = [&] {
        if (tabs && host.NowMicroseconds() >= 100000) {
            delete tabs;
            tabs = nullptr;
        }
    };
    TTabControl* control = tabs;
    EXPECT_FALSE(control->Next(TTabTransition::Slide));
    EXPECT_EQ(AnimationClock::Instance().RunningCount(), 0);
    EXPECT_EQ(pages[0]->TabControl(), nullptr);
}

}  // namespace
}  // namespace velmora::tabtest
