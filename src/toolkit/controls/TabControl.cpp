#include "TabControl.h"

#include <algorithm>

#include "platform/Platform.h"
#include "toolkit/controls/Animation.h"
#include "toolkit/controls/TabItem.h"
#include "toolkit/controls/TabItemContent.h"
#include "toolkit/controls/TabStrip.h"
#include "toolkit/controls/Theme.h"
#include "toolkit/controls/ToolkitServices.h"
#include "toolkit/controls/WindowRoot.h"
#include "toolkit/core/ComponentRef.h"

namespace velmora {

const EnumInfo TabPositionEnum{"TTabPosition", {"Top", "Bottom", "None", "Dots", "PlatformDefault"}};

// The content sizes the designer stored, one (width, height) pair per page.
bool ReadTabControlDefinedProperty(Persistent& object, std::string_view name, IValueReader& reader) {
    if (!SameText(name, "Sizes")) return false;
    auto& tabControl = static_cast<TTabControl&>(object);
    std::vector<float> sizes;
    reader.ReadListBegin();
    while (!reader.EndOfList()) sizes.push_back(reader.ReadSingle());
    tabControl.sizes_ = std::move(sizes);
    return true;
}

const ClassInfo& TTabControl::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TTabControl",
        .parent = &TControl::StaticClassInfo(),
        .factory = [](Component* owner) -> Component* { return new TTabControl(owner); },
        .isComponent = true,
        .properties =
            {
                prop::Integer("TabIndex", &TTabControl::SetTabIndex),
                prop::Enum("TabPosition", TabPositionEnum, &TTabControl::SetTabPosition),
                prop::Event("OnChange", &TTabControl::OnChange),
            },
        .definedProperties = &ReadTabControlDefinedProperty,
    };
    return info;
}

TTabControl::TTabControl(Component* owner) : TControl(owner), strip_(std::make_unique<TTabStrip>(*this)) {
    strip_->SetParent(this);
}

TTabControl::~TTabControl() {
    destroying_ = true;
    // Movements must not outlive the pages they move.
    for (TTabItem* page : {outgoing_, incoming_})
        if (page) page->Content().AbandonMovement();
    transitionRunning_ = false;
    outgoing_ = incoming_ = nullptr;
    // Pages belong to their owner, not to this control: let them go.
    while (TTabItem* page = Tabs(0)) page->SetParent(nullptr);
    strip_.reset();
}

// --- pages -------------------------------------------------------------------

int TTabControl::TabCount() const {
    int count = 0;
    for (TControl* child : strip_->Controls())
        if (dynamic_cast<TTabItem*>(child)) ++count;
    return count;
}

TTabItem* TTabControl::Tabs(int index) const {
    if (index < 0) return nullptr;
    for (TControl* child : strip_->Controls())
        if (auto* page = dynamic_cast<TTabItem*>(child))
            if (index-- == 0) return page;
    return nullptr;
}

int TTabControl::IndexOf(const TTabItem* page) const {
    int index = 0;
    for (TControl* child : strip_->Controls()) {
        if (child == page) return index;
        if (dynamic_cast<TTabItem*>(child)) ++index;
    }
    return -1;
}

TTabItemContent* TTabControl::ContentOf(TTabItem* page) const { return page ? &page->Content() : nullptr; }

TTabItem* TTabControl::ActiveTab() const { return Tabs(tabIndex_); }

void TTabControl::SetActiveTab(TTabItem* page) {
    if (!page) {
        SetTabIndex(-1);
        return;
    }
    const int index = IndexOf(page);
    if (index >= 0) SetTabIndex(index);
}

void TTabControl::SetTabIndex(int index) {
    if (index == tabIndex_) return;
    // While loading the pages do not exist yet; afterwards an index that names
    // no page is ignored rather than leaving the control without a valid page.
    if (!IsLoading() && (index < -1 || index >= TabCount())) return;
    if (TTabItem* old = ActiveTab()) old->SetSelectedLook(false);
    tabIndex_ = index;
    if (TTabItem* now = ActiveTab()) now->SetSelectedLook(true);
    UpdatePageLayout();
    if (IWindowRoot* window = Root()) window->AccessibleFocusMayHaveMoved();
    if (!NotificationsHeldBack() && OnChange) OnChange(this);
    RealignBrowsers();
}

TControl* TTabControl::AccessibleFocusRest() const {
    // Asked while its pages are being let go, too.
    if (destroying_ || !strip_) return nullptr;
    TTabItem* tab = ActiveTab();
    return tab && tab->Visible() ? tab : nullptr;
}

void TTabControl::SetTabPosition(TTabPosition position) {
    tabPositionStored_ = true;
    if (tabPosition_ == position) return;
    tabPosition_ = position;
    if (!LayoutHeldBack()) {
        LayoutStrip();
        UpdatePageLayout();
    }
    Repaint();
}

TTabPosition TTabControl::EffectiveTabPosition() const {
    // Desktop systems keep the strip at the top.
    return tabPosition_ == TTabPosition::PlatformDefault ? TTabPosition::Top : tabPosition_;
}

void TTabControl::PageAttached(TTabItem& page) {
    const int index = IndexOf(&page);
    if (IsLoading()) {
        const std::size_t at = static_cast<std::size_t>(index) * 2;
        if (index >= 0 && at + 1 < sizes_.size()) {
            TTabItemContent& content = page.Content();
            content.SetBounds(content.Position().X(), content.Position().Y(), sizes_[at], sizes_[at + 1]);
        }
    } else {
        page.SetSelectedLook(index == tabIndex_);
    }
    HeaderChanged();
}

void TTabControl::PageDetached(TTabItem& page) {
    if (outgoing_ == &page) outgoing_ = nullptr;
    if (incoming_ == &page) incoming_ = nullptr;
    if (destroying_ || IsDestroying()) return;
    if (!IsLoading()) {
        if (tabIndex_ >= TabCount()) tabIndex_ = TabCount() - 1;
        for (int i = 0; TTabItem* p = Tabs(i); ++i) p->SetSelectedLook(i == tabIndex_);
    }
    HeaderChanged();
}

void TTabControl::HeaderChanged() {
    if (!LayoutHeldBack()) {
        LayoutStrip();
        UpdatePageLayout();
    }
    Repaint();
}

TControl* TTabControl::ContainerFor(TControl* child) {
    if (dynamic_cast<TTabItem*>(child)) return strip_.get();
    return this;
}

// --- layout ----------------------------------------------------------------

bool TTabControl::LayoutHeldBack() const {
    if (destroying_ || IsLoading() || IsDestroying()) return true;
    const IWindowRoot* window = Root();
    return window && window->WindowComponent().IsDestroying();
}

bool TTabControl::NotificationsHeldBack() const {
    if (destroying_ || IsLoading() || IsDestroying()) return true;
    const IWindowRoot* window = Root();
    return window && (window->WindowComponent().IsLoading() || window->WindowComponent().IsDestroying());
}

void TTabControl::LayoutStrip() {
    const TTabPosition position = EffectiveTabPosition();
    if (position == TTabPosition::None || position == TTabPosition::Dots) {
        strip_->SetVisible(false);
        strip_->SetBounds(0, 0, Width(), 0);
        return;
    }
    strip_->SetVisible(true);
    const float height = strip_->PreferredHeight();
    const float y = position == TTabPosition::Bottom ? Height() - height : 0;
    strip_->SetBounds(0, y, Width(), height);
    strip_->LayoutHeaders();
}

RectF TTabControl::PageArea() const {
    RectF area = LocalRect();
    if (strip_->Visible()) {
        if (EffectiveTabPosition() == TTabPosition::Bottom) {
            area.bottom = strip_->Position().Y();
        } else {
            area.top = strip_->Position().Y() + strip_->Height();
        }
    }
    TControl& self = const_cast<TTabControl&>(*this);
    area.left += self.Padding().Left();
    area.top += self.Padding().Top();
    area.right -= self.Padding().Right();
    area.bottom -= self.Padding().Bottom();
    if (area.right < area.left) area.right = area.left;
    if (area.bottom < area.top) area.bottom = area.top;
    return area;
}

void TTabControl::UpdatePageLayout() {
    if (transitionRunning_ || LayoutHeldBack()) return;
    const RectF area = PageArea();
    for (int i = 0; TTabItem* page = Tabs(i); ++i) {
        TTabItemContent& content = page->Content();
        TBounds& m = content.Margins();
        const float x = area.left + m.Left(), y = area.top + m.Top();
        const float w = std::max(0.0f, area.Width() - m.Left() - m.Right());
        const float h = std::max(0.0f, area.Height() - m.Top() - m.Bottom());
        const bool show = page->Visible() && i == tabIndex_;
        // Hide before moving and move before showing, so a native view over
        // a content never shows at a stale place. Hiding takes the keyboard
        // focus from a control inside (the form sees to that).
        if (!show) content.SetVisible(false);
        content.SetBounds(x, y, w, h);
        if (show) content.SetVisible(true);
    }
}

void TTabControl::Resized() {
    TControl::Resized();
    if (LayoutHeldBack()) return;
    LayoutStrip();
    UpdatePageLayout();
}

void TTabControl::Loaded() {
    TControl::Loaded();
    if (!tabPositionStored_) tabPosition_ = TTabPosition::Top;
    for (int i = 0; TTabItem* page = Tabs(i); ++i) page->Repaint();
    LayoutStrip();
    UpdatePageLayout();
}

// --- painting ----------------------------------------------------------------

void TTabControl::Paint(platform::ICanvas& canvas) { canvas.FillRect(PageArea(), theme::TabPageBackground); }

void TTabControl::PaintTree(platform::ICanvas& canvas) {
    if (!Visible()) return;
    canvas.Save();
    canvas.Translate(Position().X(), Position().Y());
    Paint(canvas);
    if (ClipChildren()) canvas.ClipRect(LocalRect());
    // The strip first, then the pages; during a slide the incoming page is
    // drawn over the outgoing one.
    TTabItemContent* out = ContentOf(outgoing_);
    TTabItemContent* in = ContentOf(incoming_);
    for (TControl* child : Controls())
        if (child != out && child != in) child->PaintTree(canvas);
    if (out) out->PaintTree(canvas);
    if (in) in->PaintTree(canvas);
    canvas.Restore();
}

// --- page changes --------------------------------------------------------------

int TTabControl::FindNextVisible(int from) const {
    const int count = TabCount();
    for (int i = std::clamp(from, -1, count) + 1; i < count; ++i)
        if (Tabs(i)->Visible()) return i;
    return -1;
}

int TTabControl::FindPreviousVisible(int from) const {
    const int count = TabCount();
    for (int i = std::clamp(from, -1, count) - 1; i >= 0; --i)
        if (Tabs(i)->Visible()) return i;
    return -1;
}

bool TTabControl::Next(TTabTransition transition, TTabTransitionDirection direction) {
    return GotoVisibleTab(FindNextVisible(tabIndex_), transition, direction);
}

bool TTabControl::Previous(TTabTransition transition, TTabTransitionDirection direction) {
    return GotoVisibleTab(FindPreviousVisible(tabIndex_), transition, direction);
}

bool TTabControl::First(TTabTransition transition, TTabTransitionDirection direction) {
    return GotoVisibleTab(FindNextVisible(-1), transition, direction);
}

bool TTabControl::Last(TTabTransition transition, TTabTransitionDirection direction) {
    return GotoVisibleTab(FindPreviousVisible(TabCount()), transition, direction);
}

bool TTabControl::GotoVisibleTab(int index, TTabTransition transition, TTabTransitionDirection direction) {
    if (index < 0 || index >= TabCount() || index == tabIndex_ || !Tabs(index)->Visible() || transitionRunning_)
        return false;
    if (tabIndex_ == -1) {
        SetTabIndex(index);
    } else {
        if (tabIndex_ > index)
            direction = direction == TTabTransitionDirection::Normal ? TTabTransitionDirection::Reversed
                                                                     : TTabTransitionDirection::Normal;
        const ComponentRef<TTabControl> self(this);
        SetActiveTabWithTransition(Tabs(index), transition, direction);
        if (!self) return false;
    }
    return tabIndex_ == index;
}

void TTabControl::SetActiveTabWithTransition(TTabItem* page, TTabTransition transition,
                                             TTabTransitionDirection direction) {
    if (page == ActiveTab()) return;
    // Only pages of this control can become its active page.
    if (page && IndexOf(page) < 0) return;
    if (transitionRunning_) FinishRunningTransition();
    TTabItem* outgoing = ActiveTab();
    if (transition == TTabTransition::None || !page || !outgoing || page == outgoing) {
        SetActiveTab(page);
        return;
    }
    RunSlide(*outgoing, *page, direction);
}

void TTabControl::FinishRunningTransition() {
    // The incoming page first, as within a step; the outgoing one's finishing
    // step then ends the transition.
    TTabItem* incoming = incoming_;
    TTabItem* outgoing = outgoing_;
    if (incoming) incoming->Content().StopMovement();
    if (outgoing) outgoing->Content().StopMovement();
    transitionRunning_ = false;
}

bool TTabControl::AnimationClockStalled() {
    if (!AnimationClock::Instance().TimerActive()) return true;
    const ToolkitServices& services = Services();
    if (!services.processMessages) return true;
    return services.isClosing && services.isClosing();
}

bool TTabControl::RunSlide(TTabItem& outgoing, TTabItem& incoming, TTabTransitionDirection direction) {
    const ComponentRef<TTabControl> self(this);
    TTabItemContent& outContent = outgoing.Content();
    TTabItemContent& inContent = incoming.Content();
    std::shared_ptr<TFloatAnimation> outMove;
    std::shared_ptr<TFloatAnimation> inMove;

    transitionRunning_ = true;
    SetClipChildren(true);
    try {
        // Slide geometry, in this control's coordinates (the contents' parent).
        const RectF a = outContent.BoundsRect();
        const float w = a.Width();
        const float h = a.Height();

        SetTabIndex(IndexOf(&incoming));
        outgoing_ = &outgoing;
        incoming_ = &incoming;

        const bool normal = direction == TTabTransitionDirection::Normal;
        const float outTarget = normal ? a.left - w : a.left + w;
        const float inStart = normal ? a.left + w : a.left - w;

        // Both contents stand at their start places before they show: a
        // native view on the incoming page (it was laid out over the page
        // area while hidden) would otherwise flash up over the outgoing page.
        outContent.SetBounds(a.left, a.top, w, h);
        inContent.SetBounds(inStart, a.top, w, h);
        outContent.SetKeepsPreparedAppearance(true);
        outContent.SetVisible(true);
        inContent.SetVisible(true);
        if (!inContent.KeepsPreparedAppearance()) {
            inContent.SetKeepsPreparedAppearance(true);
            PrepareAppearance(inContent);
        }

        outMove = outContent.StartMovement(outTarget, kSlideDuration);
        TTabItemContent* outPtr = &outContent;
        outMove->OnProcess = [this] { RealignBrowsers(); };
        outMove->OnFinish = [this, outPtr] { OutgoingMovementFinished(*outPtr); };
        outMove->Start();

        inMove = inContent.StartMovement(a.left, kSlideDuration);
        TTabItemContent* inPtr = &inContent;
        inMove->OnFinish = [inPtr] {
            if (auto done = inPtr->DetachMovement())
                platform::CurrentPlatform().PostCallback([done]() mutable { done.reset(); });
        };
        inMove->Start();

        while (inMove->Running()) {
            // A quit request met here ends the application; the clock check
            // below then ends the slide.
            ProcessMessages();
            if (!self) return false;
            if (!inMove->Running()) break;
            if (AnimationClockStalled()) {
                // Nothing will ever advance the movements: end them where
                // they were going.
                inMove->Stop();
                outMove->Stop();
                break;
            }
            platform::CurrentPlatform().YieldProcessor();
        }
        inMove.reset();
    } catch (...) {
        // The running flag must never stay set. The movements are dropped
        // where they stand (their callbacks could fail again) and the layout
        // pass puts the pages where the active index says.
        if (self) {
            if (outMove) outMove->Abandon();
            if (inMove) inMove->Abandon();
            EndTransition();
        }
        throw;
    }
    EndTransition();
    ProcessMessages();
    return static_cast<bool>(self);
}

void TTabControl::OutgoingMovementFinished(TTabItemContent& content) {
    RealignBrowsers();
    if (auto done = content.DetachMovement())
        platform::CurrentPlatform().PostCallback([done]() mutable { done.reset(); });
    EndTransition();
}

void TTabControl::EndTransition() {
    outgoing_ = nullptr;
    incoming_ = nullptr;
    SetClipChildren(false);
    transitionRunning_ = false;
    UpdatePageLayout();
}

void TTabControl::PrepareAppearance(TTabItemContent& content) {
    float scale = 1;
    if (IWindowRoot* window = Root(); window && window->Handle()) scale = window->Scale();
    std::unique_ptr<platform::ICanvas> canvas = platform::CurrentPlatform().CreateOffscreenCanvas({1, 1}, scale);
    if (!canvas) return;
    canvas->Save();
    canvas->Translate(-content.Position().X(), -content.Position().Y());
    content.PaintTree(*canvas);
    canvas->Restore();
}

void TTabControl::RealignBrowsers() {
    if (IWindowRoot* root = Root()) NativeViewPlacesChanged(*root);
}

void TTabControl::ProcessMessages() {
    // Copied: a handler run by the call may remove the services object.
    if (auto process = Services().processMessages) process();
}

// --- input -----------------------------------------------------------------

void TTabControl::FocusActiveHeader() {
    if (TTabItem* active = ActiveTab()) active->SetFocus();
}

bool TTabControl::HandlePageKey(platform::Key key, unsigned shift) {
    if (key != platform::Key::Tab || !(shift & platform::ShiftCtrl) || (shift & platform::ShiftAlt)) return false;
    const bool backward = (shift & platform::ShiftShift) != 0;
    int target = backward ? FindPreviousVisible(tabIndex_) : FindNextVisible(tabIndex_);
    if (target < 0) target = backward ? FindPreviousVisible(TabCount()) : FindNextVisible(-1);
    if (target >= 0 && target != tabIndex_) SetTabIndex(target);
    FocusActiveHeader();
    return true;
}

void TTabControl::DialogKey(platform::Key& key, unsigned shift) {
    TControl::DialogKey(key, shift);
    if (HandlePageKey(key, shift)) key = platform::Key::None;
}

void TTabControl::HeaderPressed(TTabItem& page) {
    const int index = IndexOf(&page);
    if (index < 0) return;
    if (index != tabIndex_) SetTabIndex(index);
    strip_->ScrollIntoView(page);
    page.SetFocus();
}

void TTabControl::HeaderKey(TTabItem& page, platform::Key& key, unsigned shift) {
    (void)page;
    (void)shift;
    if (key == platform::Key::Left || key == platform::Key::Right) {
        if (key == platform::Key::Left) {
            Previous(TTabTransition::None, TTabTransitionDirection::Normal);
        } else {
            Next(TTabTransition::None, TTabTransitionDirection::Normal);
        }
        if (TTabItem* active = ActiveTab()) strip_->ScrollIntoView(*active);
        key = platform::Key::None;
    }
    FocusActiveHeader();
}

// ---------------------------------------------------------------- accessibility

platform::AccessibleRole TTabControl::AccessibleRole() const { return platform::AccessibleRole::PageTabList; }
// The headers only: each page's content is reached through its header.
std::vector<TControl*> TTabControl::AccessibleChildren() const { return {strip_.get()}; }

}  // namespace velmora
