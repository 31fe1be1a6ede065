#include "explorer/ProgramExplorer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <random>
#include <set>

#include "backends/headless/HeadlessPlatform.h"
#include "backends/headless/HeadlessWebEngine.h"
#include "program/Unit2.h"
#include "program/Velmora.h"
#include "toolkit/controls/Animation.h"
#include "toolkit/controls/ControlAccessibility.h"
#include "toolkit/controls/TabItemContent.h"
#include "toolkit/controls/TabStrip.h"
#include "toolkit/controls/WebBrowserBinding.h"
#include "toolkit/shell/Application.h"

namespace velmora {
void RegisterResource_TFORM2();
}

namespace velmora::explorer {

namespace {

using headless::HeadlessPlatform;
using headless::HeadlessWebEngine;
using platform::IAccessibleNode;
using platform::Message;
using platform::MessageKind;
using platform::PointI;

const std::string kHost = VELMORA_CHAPTER_HOST;

std::string ChapterAddress(int chapter) { return "http://" + kHost + "/Nav" + std::to_string(chapter) + ".html"; }

// Why an invariant failed: thrown inside a check, caught by the run.
struct Broken {
    std::string invariant;
    std::string detail;
};

void Require(bool holds, const char* invariant, const std::string& detail) {
    if (!holds) throw Broken{invariant, detail};
}

bool Near(int a, int b) { return std::abs(a - b) <= 1; }

std::string Show(const platform::RectI& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

bool NearRect(const platform::RectI& a, const platform::RectI& b) {
    return Near(a.left, b.left) && Near(a.top, b.top) && Near(a.right, b.right) && Near(a.bottom, b.bottom);
}

class Run {
public:
    explicit Run(const Schedule& schedule) : schedule_(schedule), jitter_(schedule.seed ^ 0x5eedULL) {
        host_.DefaultPosition = {120, 80};
        host_.WindowFrame = {8, 31, 8, 8};
        host_.Touch = schedule.touchScreen;
        // The user's own close comes late enough for every earlier request to
        // have had its time.
        end_ = EndOf(schedule) + kCloseBoundMs + 50;
        // Past the final close's bound nothing legitimate is left to wait for.
        host_.WaitLimitMs = end_ + kCloseBoundMs + 500;
        if (schedule.timerJitterUs > 0) {
            const unsigned most = schedule.timerJitterUs;
            host_.TimerLatenessUs = [this, most] { return jitter_() % (most + 1); };
        }
    }

    Verdict Play() {
        host_.At(0, [this] { Attach(); });
        // Steps of the moment the main window first appears.
        host_.OnWindowShown = [this](platform::WindowHandle window) {
            if (attached_ || !Form2 || window != Form2->Handle()) return;
            Attach();
            for (const Step& step : schedule_.steps)
                if (step.at < 0) Perform(step);
        };
        for (const Step& step : schedule_.steps) {
            if (step.at < 0) continue;
            host_.At(step.at, [this, step] {
                Check();
                if (!verdict_.ok) return;
                if (std::getenv("VELMORA_EXPLORE_TRACE")) {
                    std::fprintf(stderr, "%s (page %d%s)\n", Describe(step).c_str(), Form2 ? Form2->TabControl1->TabIndex() : -1,
                                 Form2 && Form2->TabControl1->IsTransitionRunning() ? ", sliding" : "");
                    host_.CallLog().push_back("-- " + Describe(step));
                }
                Perform(step);
                ++verdict_.stepsPlayed;
            });
        }
        // Whatever the schedule left: the user closes the window for good.
        host_.At(end_, [this] {
            Check();
            refuse_ = false;
            if (attached_ && Form2) SendClose(Form2->Handle());
        });

        exitCode_ = RunProcess(host_, ProgramModules(), Velmora);
        const double ended = host_.NowMs();
        if (std::getenv("VELMORA_EXPLORE_TRACE"))
            for (const std::string& line : host_.CallLog()) std::fprintf(stderr, "  %s\n", line.c_str());
        if (verdict_.ok) {
            try {
                CheckEnd(ended);
            } catch (const Broken& b) {
                Fail(b, ended);
            }
        }
        HeadlessWebEngine::ResetNextEngineFaults();
        // The next run finds the program's description where the build put it.
        RegisterResource_TFORM2();
        verdict_.choices = static_cast<int>(choices_.size());
        return verdict_;
    }

private:
    // ---- hooks into the running program --------------------------------------------

    void Attach() {
        if (attached_ || !Form2) return;
        attached_ = true;
        main_ = Form2->Handle();
        TButton* buttons[] = {Form2->Button1, Form2->Button2, Form2->Button3, Form2->Button4};
        for (int chapter = 1; chapter <= 4; ++chapter) {
            TButton* button = buttons[chapter - 1];
            NotifyEvent original = button->OnClick;
            button->OnClick = [this, chapter, original](Component* sender) {
                choices_.push_back(chapter);
                if (original) original(sender);
            };
        }
        Form2->OnCloseQuery = [this](Component*, bool& canClose) {
            canClose = !refuse_;
            if (!pendingCloses_.empty()) pendingCloses_.pop_front();
            if (canClose && !agreedClose_) agreedClose_ = host_.NowMs();
        };
    }

    void SendClose(platform::WindowHandle window) {
        if (!window) return;
        host_.CloseRequest(window);
        pendingCloses_.push_back(host_.NowMs());
    }

    // ---- the steps ------------------------------------------------------------------

    PointI PointOf(const TControl& control, float fx = 0.5f, float fy = 0.5f) const {
        const RectF r = control.AbsoluteRect();
        const float s = Scale();
        return {static_cast<int>(std::floor((r.left + r.Width() * fx) * s)),
                static_cast<int>(std::floor((r.top + r.Height() * fy) * s))};
    }

    // The program's own scale: the one its layout and its placements use
    // until it has seen a DPI change the system already made.
    static float Scale() { return Form2->Scale(); }

    PointI At(Place place) const {
        TForm2& f = *Form2;
        switch (place) {
        case Place::B1: return PointOf(*f.Button1);
        case Place::B2: return PointOf(*f.Button2);
        case Place::B3: return PointOf(*f.Button3);
        case Place::B4: return PointOf(*f.Button4);
        case Place::Contents: return PointOf(*f.TabControl1->Tabs(0));
        case Place::Reader: return PointOf(*f.TabControl1->Tabs(1));
        case Place::View: return PointOf(*f.WebBrowser1);
        case Place::Empty: return PointOf(f.TabItem1->Content(), 0.5f, 0.9f);
        case Place::Strip: return PointOf(f.TabControl1->Strip(), 0.9f, 0.5f);
        }
        return {};
    }

    platform::WindowHandle Display() const {
        WebBrowserBinding* binding = Form2 ? Form2->WebBrowser1->Binding() : nullptr;
        return binding ? binding->Display() : 0;
    }

    // The engine's navigations, newest last.
    static HeadlessWebEngine* Engine() { return HeadlessWebEngine::Latest(); }

    // Notifications come through the queue, as the real engines deliver them.
    void Notify(int back, std::function<void(HeadlessWebEngine&, const std::string&)> fire) {
        HeadlessWebEngine* engine = Engine();
        if (!engine) return;
        const auto& loads = engine->Navigations();
        if (back < 0 || back >= static_cast<int>(loads.size())) return;
        const std::string url = loads[loads.size() - 1 - static_cast<std::size_t>(back)].url;
        host_.PostCallback([engine, url, fire] {
            const auto& live = HeadlessWebEngine::LiveEngines();
            if (std::find(live.begin(), live.end(), engine) != live.end()) fire(*engine, url);
        });
    }

    std::vector<IAccessibleNode*> AccessibleNodes() {
        std::vector<IAccessibleNode*> nodes;
        if (IAccessibleNode* root = host_.Accessibility().Root(main_)) Collect(*root, nodes);
        return nodes;
    }
    static void Collect(IAccessibleNode& node, std::vector<IAccessibleNode*>& out) {
        out.push_back(&node);
        for (IAccessibleNode* child : node.Children()) Collect(*child, out);
    }

    void Perform(const Step& step) {
        if (!attached_ || !Form2 || !Application || Application->Terminated()) return;
        // A stall needs a running clock, which the start-up has not yet.
        if (step.at < 0 && step.act == Act::Stall) return;
        const platform::WindowHandle w = main_;
        auto place = [&] { return At(static_cast<Place>(step.a)); };
        auto button = [&] {
            return step.b == 1 ? platform::MouseButton::Right
                               : step.b == 2 ? platform::MouseButton::Middle : platform::MouseButton::Left;
        };
        switch (step.act) {
        case Act::Click: {
            const PointI p = place();
            host_.Click(w, p.x, p.y);
            break;
        }
        case Act::DoubleClick: {
            const PointI p = place();
            host_.Press(w, p.x, p.y, platform::MouseButton::Left, platform::ShiftNone, 2);
            host_.Release(w, p.x, p.y);
            break;
        }
        case Act::Press: {
            const PointI p = place();
            host_.Press(w, p.x, p.y, button());
            break;
        }
        case Act::Release: {
            const PointI p = place();
            host_.Release(w, p.x, p.y, button());
            break;
        }
        case Act::Move: {
            const PointI p = place();
            host_.Move(w, p.x, p.y);
            break;
        }
        case Act::Leave: host_.Post({.kind = MessageKind::MouseLeave, .window = w}); break;
        case Act::Wheel: {
            const PointI p = place();
            host_.Wheel(w, p.x, p.y, 120 * step.b);
            break;
        }
        case Act::Key: host_.Key(static_cast<platform::Key>(step.a), static_cast<unsigned>(step.b)); break;
        case Act::KeyDown: host_.KeyDown(static_cast<platform::Key>(step.a), static_cast<unsigned>(step.b)); break;
        case Act::Char: host_.Char(static_cast<char32_t>(step.a)); break;
        case Act::TouchTap:
        case Act::TouchPan: {
            const PointI p = place();
            const int dx = step.act == Act::TouchPan ? step.b : 0;
            host_.Post({.kind = MessageKind::TouchBegin, .window = w, .point = p});
            if (dx != 0) host_.Post({.kind = MessageKind::TouchMove, .window = w, .point = {p.x + dx / 2, p.y}});
            host_.Post({.kind = MessageKind::TouchEnd, .window = w, .point = {p.x + dx, p.y}});
            break;
        }
        case Act::CloseMain: SendClose(w); break;
        case Act::CloseApp: SendClose(Application->HandleIfCreated()); break;
        case Act::CloseQueued:
            if (!Form2) break;
            // Runs at the next idle pass, outside any dispatch of the loop.
            Application->Queue([] {
                if (Form2) Form2->Close();
            });
            pendingCloses_.push_back(host_.NowMs());
            break;
        case Act::Quit:
            host_.PostQuitMessage();
            if (!quit_) quit_ = host_.NowMs();
            break;
        case Act::RefuseClose: refuse_ = step.a != 0; break;
        case Act::Activate: {
            const platform::WindowHandle targets[] = {w, Application->HandleIfCreated(), Display()};
            if (platform::WindowHandle target = targets[std::clamp(step.a, 0, 2)]) host_.Activate(target);
            break;
        }
        case Act::Deactivate: host_.Post({.kind = MessageKind::Deactivate, .window = w}); break;
        case Act::Dpi: host_.ChangeDpi(w, step.a); break;
        case Act::Resize: {
            const platform::RectI b = host_.Window(w)->bounds;
            const headless::Frame f = host_.WindowFrame;
            host_.MoveByUser(w, {b.left, b.top, b.left + step.a + f.left + f.right, b.top + step.b + f.top + f.bottom});
            break;
        }
        case Act::A11yAction:
        case Act::A11yFocus: {
            std::vector<IAccessibleNode*> nodes = AccessibleNodes();
            if (nodes.empty()) break;
            IAccessibleNode* node = nodes[static_cast<std::size_t>(step.a) % nodes.size()];
            if (step.act == Act::A11yFocus) {
                node->GrabFocus();
            } else if (const auto actions = node->Actions(); !actions.empty()) {
                node->DoAction(step.b % static_cast<int>(actions.size()));
            }
            break;
        }
        case Act::EngineStart:
            Notify(0, [](HeadlessWebEngine& e, const std::string& url) { e.FireBeforeNavigate2(url); });
            break;
        case Act::EngineComplete:
            Notify(step.a, [](HeadlessWebEngine& e, const std::string& url) { e.FireNavigateComplete2(url); });
            break;
        case Act::EngineFail: {
            const int status = step.b;
            Notify(step.a, [status](HeadlessWebEngine& e, const std::string& url) { e.FireNavigateError(url, status); });
            break;
        }
        case Act::EngineCommands:
            if (HeadlessWebEngine* e = Engine()) {
                const bool enabled = step.a != 0;
                host_.PostCallback([e, enabled] {
                    const auto& live = HeadlessWebEngine::LiveEngines();
                    if (std::find(live.begin(), live.end(), e) != live.end())
                        e->FireCommandStateChange(platform::CommandNavigateBack, enabled);
                });
            }
            break;
        case Act::EngineClick:
            // Only a display on screen can be clicked; the backends report
            // the click before the engine sees it, outside the queue.
            if (HeadlessWebEngine* e = Engine(); e && Display() && host_.Window(Display())->visible)
                e->FireMouseActivate();
            break;
        case Act::EngineFocus: {
            const int how = step.a;
            Notify(0, [how](HeadlessWebEngine& e, const std::string&) {
                if (how == 0) e.FireFocused();
                else e.FireFocusLeaving(how == 1);
            });
            break;
        }
        case Act::EngineRefuse:
            if (HeadlessWebEngine* e = Engine()) {
                if (step.a) {
                    e->Faults().navigateRefusal = platform::EngineResult{false, -2146697211, "The page was refused"};
                    refusalsAllowed_ = true;
                } else {
                    e->Faults().navigateRefusal.reset();
                }
            }
            break;
        case Act::Stall: host_.Advance(step.a); break;
        }
    }

    // ---- invariants -----------------------------------------------------------------

    void Fail(const Broken& broken, double at) {
        if (!verdict_.ok) return;
        verdict_.ok = false;
        verdict_.invariant = broken.invariant;
        verdict_.detail = broken.detail;
        verdict_.at = at;
    }

    // Once an instant, before its first step: the steps of one instant all
    // arrive before the program sees any of them.
    void Check() {
        if (!verdict_.ok || !attached_ || !Form2 || !Application || Application->Terminated()) return;
        if (checkedAt_ && *checkedAt_ == host_.NowMs()) return;
        checkedAt_ = host_.NowMs();
        try {
            CheckClose();
            CheckChapters();
            CheckErrors();
            CheckSlide();
            CheckTimers();
            CheckFocus();
            CheckAccessibility();
        } catch (const Broken& b) {
            Fail(b, host_.NowMs());
            // The run is over: end the program the way a user would.
            refuse_ = false;
            SendClose(main_);
        }
    }

    void CheckClose() {
        const double now = host_.NowMs();
        if (!pendingCloses_.empty())
            Require(now - pendingCloses_.front() <= kCloseBoundMs, "close",
                    "the close request of " + std::to_string(pendingCloses_.front()) +
                        " ms never reached the window's close query");
        if (agreedClose_)
            Require(now - *agreedClose_ <= kCloseBoundMs, "close",
                    "the program still runs " + std::to_string(now - *agreedClose_) +
                        " ms after its window agreed to close");
        if (quit_)
            Require(now - *quit_ <= kCloseBoundMs, "close",
                    "the program still runs " + std::to_string(now - *quit_) + " ms after a quit message");
    }

    // The chapter loads the engine was given, as chapter numbers; anything
    // but a chapter's address or the start-up's empty page breaks the rule.
    std::vector<int> ChapterLoads() {
        std::vector<int> loads;
        for (const std::string& line : host_.CallLog()) {
            if (!line.starts_with("WebEngine.Navigate(\"")) continue;
            const std::size_t close = line.find('"', 20);
            const std::string url = line.substr(20, close - 20);
            if (url.empty()) continue;
            int chapter = 0;
            for (int c = 1; c <= 4; ++c)
                if (url == ChapterAddress(c)) chapter = c;
            Require(chapter != 0, "chapter", "the engine was asked for " + url + ", which is no chapter");
            loads.push_back(chapter);
        }
        return loads;
    }

    static std::string List(const std::vector<int>& v) {
        std::string s = "[";
        for (std::size_t i = 0; i < v.size(); ++i) s += (i ? " " : "") + std::to_string(v[i]);
        return s + "]";
    }

    void CheckChapters() {
        const std::vector<int> loads = ChapterLoads();
        Require(loads == choices_, "chapter",
                "chapters chosen " + List(choices_) + " but chapters loaded " + List(loads));
    }

    void CheckErrors() {
        for (const auto& box : host_.MessageBoxes())
            Require(refusalsAllowed_ && box.caption == "Error", "errors",
                    "a box \"" + box.caption + "\" says: " + box.text);
    }

    void CheckSlide() {
        TTabControl& tabs = *Form2->TabControl1;
        if (tabs.IsTransitionRunning()) return;
        const int active = tabs.TabIndex();
        int visible = 0;
        for (int i = 0; i < tabs.TabCount(); ++i) {
            TTabItemContent& content = tabs.Tabs(i)->Content();
            if (!content.Visible()) continue;
            ++visible;
            Require(i == active, "slide", "page " + std::to_string(i) + " shows while page " +
                                              std::to_string(active) + " is the active one");
            const RectF area = tabs.PageArea();
            const RectF r = content.BoundsRect();
            Require(std::fabs(r.left - area.left) < 0.5f && std::fabs(r.top - area.top) < 0.5f &&
                        std::fabs(r.Width() - area.Width()) < 0.5f && std::fabs(r.Height() - area.Height()) < 0.5f,
                    "slide", "the active page's content is not over the page area");
        }
        Require(visible == 1, "slide", std::to_string(visible) + " pages show after the slide");

        const platform::WindowHandle display = Display();
        if (!display) return;
        const headless::WindowState* d = host_.Window(display);
        if (d->visible) {
            Require(active == 1, "slide", "the engine's display shows over the table of contents");
            // Over the view, less the band its focus frame takes.
            const RectF v = Form2->WebBrowser1->AbsoluteRect();
            const float inset = Form2->WebBrowser1->DisplayInset();
            const RectF r{v.left + inset, v.top + inset, v.right - inset, v.bottom - inset};
            const float s = Scale();
            const platform::RectI expected{static_cast<int>(std::lround(r.left * s)),
                                           static_cast<int>(std::lround(r.top * s)),
                                           static_cast<int>(std::lround(r.right * s)),
                                           static_cast<int>(std::lround(r.bottom * s))};
            Require(NearRect(d->bounds, expected), "slide",
                    "the engine's display lies at " + Show(d->bounds) + ", the web view at " + Show(expected));
        } else if (!Application->Terminating()) {
            Require(active != 1, "slide", "the reader page is active but the engine's display is hidden");
        }
    }

    void CheckTimers() {
        const AnimationClock& clock = AnimationClock::Instance();
        Require(clock.TimerActive() == (clock.RunningCount() > 0), "timers",
                "the animation timer " + std::string(clock.TimerActive() ? "runs" : "is gone") + " with " +
                    std::to_string(clock.RunningCount()) + " animations running");
        if (!Form2->TabControl1->IsTransitionRunning())
            Require(clock.RunningCount() == 0, "timers",
                    std::to_string(clock.RunningCount()) + " animations run without a slide");
        const std::size_t allowed = (clock.TimerActive() ? 1u : 0u) + (Application->ActionUpdateTimer() ? 1u : 0u);
        Require(host_.LiveTimerCount() <= allowed, "timers",
                std::to_string(host_.LiveTimerCount()) + " timers live, " + std::to_string(allowed) + " explained");
        if (Application->Terminating())
            Require(host_.LiveTimerCount() == 0, "timers", "timers live while the program winds down");
    }

    // Every control of the window: the tree of children and the pages' contents.
    std::set<TControl*> Controls() {
        std::set<TControl*> all;
        std::vector<TControl*> todo{&Form2->ClientArea()};
        while (!todo.empty()) {
            TControl* c = todo.back();
            todo.pop_back();
            if (!all.insert(c).second) continue;
            for (TControl* child : c->Controls()) todo.push_back(child);
            if (auto* page = dynamic_cast<TTabItem*>(c)) todo.push_back(&page->Content());
            if (auto* tabs = dynamic_cast<TTabControl*>(c)) todo.push_back(&tabs->Strip());
        }
        return all;
    }

    void CheckFocus() {
        const std::set<TControl*> all = Controls();
        if (TControl* told = Form2->AccessibleFocus())
            Require(all.count(told) == 1 && told->IsVisibleInTree(), "focus",
                    "a screen reader is told the focus is on " + told->Name() + ", which is gone or hidden");
        TControl* focused = Form2->Focused();
        if (!focused) return;
        Require(all.count(focused) == 1, "focus", "the focused control is not one of the window's");
        Require(focused->IsVisibleInTree(), "focus",
                "the focused control " + focused->Name() + " is hidden");
        Require(focused->CanFocus(), "focus", "the focused control " + focused->Name() + " cannot take focus");
    }

    void CheckAccessibility() {
        IAccessibleNode* root = host_.Accessibility().Root(main_);
        Require(root == &Form2->ClientArea().Accessible(), "a11y", "the window's published tree is not its own");
        const std::set<TControl*> all = Controls();
        std::set<TControl*> seen;
        std::vector<IAccessibleNode*> todo{root};
        const float s = Scale();
        while (!todo.empty()) {
            IAccessibleNode* node = todo.back();
            todo.pop_back();
            auto* mine = dynamic_cast<ControlAccessible*>(node);
            Require(mine != nullptr, "a11y", "a node of the tree belongs to no control");
            TControl& control = mine->Control();
            const std::string name = control.Name().empty() ? "(unnamed)" : control.Name();
            Require(all.count(&control) == 1, "a11y", "the node of " + name + " outlives its control");
            Require(seen.insert(&control).second, "a11y", name + " appears twice in the tree");
            for (IAccessibleNode* child : node->Children()) {
                Require(child->Parent() == node, "a11y", "a child of " + name + " names another parent");
                todo.push_back(child);
            }
            if (node == root) continue;
            const unsigned states = node->States();
            const bool showing = control.IsVisibleInTree() && Form2->Visible();
            Require(((states & platform::AccessibleShowing) != 0) == showing, "a11y",
                    name + (showing ? " shows but is not told as showing" : " is told as showing while hidden"));
            // Told as focused: the focused control, or where the focus rests
            // for a screen reader while no control has it.
            const bool focused = Form2->AccessibleFocus() == &control;
            Require(((states & platform::AccessibleFocused) != 0) == focused, "a11y",
                    name + (focused ? " has the focus but is not told so" : " is told as focused without it"));
            if (auto* page = dynamic_cast<TTabItem*>(&control)) {
                const bool active = Form2->TabControl1->ActiveTab() == page;
                Require(((states & platform::AccessibleSelected) != 0) == active, "a11y",
                        name + (active ? " is the active page but not told as selected" : " is told as selected"));
                Require(node->Name() == page->Text(), "a11y", name + " is told as \"" + node->Name() + "\"");
            }
            if (auto* button = dynamic_cast<TButton*>(&control))
                Require(node->Name() == button->Text(), "a11y", name + " is told as \"" + node->Name() + "\"");
            const RectF r = control.AbsoluteRect();
            const platform::RectI expected{static_cast<int>(std::lround(r.left * s)),
                                           static_cast<int>(std::lround(r.top * s)),
                                           static_cast<int>(std::lround(r.right * s)),
                                           static_cast<int>(std::lround(r.bottom * s))};
            Require(NearRect(node->Bounds(), expected), "a11y",
                    name + " is told to lie at " + Show(node->Bounds()) + ", not " + Show(expected));
        }
        for (TControl* control : all)
            if (control->AccessibleRole() != platform::AccessibleRole::None)
                Require(seen.count(control) == 1, "a11y",
                        (control->Name().empty() ? std::string("a control") : control->Name()) +
                            " is missing from the tree");
    }

    void CheckEnd(double ended) {
        Require(attached_, "close", "the program ended before its loop ever waited");
        Require(!host_.Deadlocked(), "close", "the program waited for something that never came");
        Require(exitCode_ == 0, "close", "the program ended with exit code " + std::to_string(exitCode_));
        Require(agreedClose_ || quit_, "close", "the program ended without a close or a quit");
        const double reason = std::min(agreedClose_.value_or(ended), quit_.value_or(ended));
        Require(ended - reason <= kCloseBoundMs, "close",
                "the program ended " + std::to_string(ended - reason) + " ms after it was asked to");
        Require(host_.LiveTimerCount() == 0, "timers", "timers outlive the program");
        Require(AnimationClock::Instance().RunningCount() == 0, "timers", "animations outlive the program");
        Require(HeadlessWebEngine::LiveEngines().empty(), "close", "the web engine outlives the program");
        Require(host_.TopLevelWindows().empty(), "close", "windows outlive the program");
    }

    const Schedule& schedule_;
    HeadlessPlatform host_;
    std::mt19937_64 jitter_;
    double end_ = 0;
    Verdict verdict_;
    bool attached_ = false;
    platform::WindowHandle main_ = 0;
    int exitCode_ = -1;
    bool refuse_ = false;
    bool refusalsAllowed_ = false;
    std::deque<double> pendingCloses_;
    std::optional<double> agreedClose_;
    std::optional<double> quit_;
    std::optional<double> checkedAt_;
    std::vector<int> choices_;
};

bool SameFailure(const Verdict& a, const Verdict& b) { return !a.ok && a.invariant == b.invariant; }

}  // namespace

Verdict Play(const Schedule& schedule) { return Run(schedule).Play(); }

Schedule Shrink(const Schedule& failing, const Verdict& failure, int* runs) {
    int plays = 0;
    auto stillFails = [&](const Schedule& candidate) {
        ++plays;
        return SameFailure(Play(candidate), failure);
    };
    Schedule best = failing;
    // Steps after the failure cannot have caused it.
    {
        Schedule cut = best;
        std::erase_if(cut.steps, [&](const Step& s) { return s.at > failure.at; });
        if (cut.steps.size() < best.steps.size() && stillFails(cut)) best = cut;
    }
    // Whole runs of steps out, halves first, then ever smaller pieces.
    for (std::size_t chunk = std::max<std::size_t>(1, best.steps.size() / 2); chunk >= 1;) {
        bool removed = false;
        for (std::size_t from = 0; from < best.steps.size();) {
            Schedule candidate = best;
            const std::size_t to = std::min(from + chunk, candidate.steps.size());
            candidate.steps.erase(candidate.steps.begin() + static_cast<std::ptrdiff_t>(from),
                                  candidate.steps.begin() + static_cast<std::ptrdiff_t>(to));
            if (stillFails(candidate)) {
                best = candidate;
                removed = true;
            } else {
                from += chunk;
            }
        }
        if (!removed) {
            if (chunk == 1) break;
            chunk /= 2;
        }
    }
    // Then the run's own settings, and the times pulled together.
    for (auto simplify : {+[](Schedule& s) { s.timerJitterUs = 0; }, +[](Schedule& s) { s.touchScreen = false; }}) {
        Schedule candidate = best;
        simplify(candidate);
        if (!(candidate.timerJitterUs == best.timerJitterUs && candidate.touchScreen == best.touchScreen) &&
            stillFails(candidate))
            best = candidate;
    }
    for (std::size_t i = 0; i < best.steps.size(); ++i) {
        const double earlier = i == 0 ? 0 : best.steps[i - 1].at;
        if (best.steps[i].at == earlier) continue;
        Schedule candidate = best;
        const double shift = candidate.steps[i].at - earlier;
        for (std::size_t j = i; j < candidate.steps.size(); ++j) candidate.steps[j].at -= shift;
        if (stillFails(candidate)) best = candidate;
    }
    if (runs) *runs = plays;
    return best;
}

}  // namespace velmora::explorer
