// A control that shows one of its pages at a time, with a strip of page
// headers. Pages change at once (headers, page keys) or with a horizontal
// slide of both pages (Next/Previous/First/Last with Slide).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "toolkit/controls/Control.h"

namespace velmora {

class TTabItem;
class TTabItemContent;
class TTabStrip;

enum class TTabTransition { None = 0, Slide = 1 };
enum class TTabTransitionDirection { Normal = 0, Reversed = 1 };
enum class TTabPosition { Top, Bottom, None, Dots, PlatformDefault };
extern const EnumInfo TabPositionEnum;

class TTabControl : public TControl {
public:
    explicit TTabControl(Component* owner);
    ~TTabControl() override;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    // Length of each page's movement in a slide, in seconds.
    static constexpr double kSlideDuration = 0.3;

    // --- pages ---------------------------------------------------------------
    int TabCount() const;
    TTabItem* Tabs(int index) const;
    int IndexOf(const TTabItem* page) const;
    TTabStrip& Strip() const { return *strip_; }

    int TabIndex() const { return tabIndex_; }
    // Immediate change of the active page.
    void SetTabIndex(int index);
    TTabItem* ActiveTab() const;
    void SetActiveTab(TTabItem* page);

    TTabPosition TabPosition() const { return tabPosition_; }
    void SetTabPosition(TTabPosition position);
    // Where the strip really stands: PlatformDefault resolved.
    TTabPosition EffectiveTabPosition() const;

    NotifyEvent OnChange;

    // --- page changes ------------------------------------------------------
    bool Next(TTabTransition transition = TTabTransition::None,
              TTabTransitionDirection direction = TTabTransitionDirection::Normal);
    bool Previous(TTabTransition transition = TTabTransition::None,
                  TTabTransitionDirection direction = TTabTransitionDirection::Normal);
    bool First(TTabTransition transition = TTabTransition::None,
               TTabTransitionDirection direction = TTabTransitionDirection::Normal);
    bool Last(TTabTransition transition = TTabTransition::None,
              TTabTransitionDirection direction = TTabTransitionDirection::Normal);
    bool GotoVisibleTab(int index, TTabTransition transition = TTabTransition::None,
                        TTabTransitionDirection direction = TTabTransitionDirection::Normal);
    void SetActiveTabWithTransition(TTabItem* page, TTabTransition transition,
                                    TTabTransitionDirection direction = TTabTransitionDirection::Normal);

    // Index of the first visible page after / before `from` (limited to
    // -1..count), or -1 when there is none.
    int FindNextVisible(int from) const;
    int FindPreviousVisible(int from) const;

    bool IsTransitionRunning() const { return transitionRunning_; }
    TTabItem* TransitionOutgoing() const { return outgoing_; }
    TTabItem* TransitionIncoming() const { return incoming_; }

    // (width, height) pairs for the pages' content areas, read before the
    // pages exist and applied as each page is attached while loading.
    const std::vector<float>& StoredSizes() const { return sizes_; }

    // --- layout ------------------------------------------------------------
    // The client rectangle without the header strip, less Padding.
    RectF PageArea() const;
    // Shows the active page's content over the page area and hides the
    // others; does nothing while a slide runs.
    void UpdatePageLayout();
    // Strip size and place, then the headers in it.
    void LayoutStrip();

    // --- input -------------------------------------------------------------
    // Ctrl+Tab / Ctrl+Shift+Tab from anywhere inside the control. True when
    // the key was one of them (it is then consumed).
    bool HandlePageKey(platform::Key key, unsigned shift);
    // A left press (or a tap) on a page header.
    void HeaderPressed(TTabItem& page);
    // Left/Right on a focused header.
    void HeaderKey(TTabItem& page, platform::Key& key, unsigned shift);

    // --- TControl --------------------------------------------------------
    TControl* ContainerFor(TControl* child) override;
    void Paint(platform::ICanvas& canvas) override;
    void PaintTree(platform::ICanvas& canvas) override;
    void DialogKey(platform::Key& key, unsigned shift) override;
    void Loaded() override;
    platform::AccessibleRole AccessibleRole() const override;
    std::vector<TControl*> AccessibleChildren() const override;
    TControl* AccessibleFocusRest() const override;

    // Called by pages as they join or leave the header strip.
    void PageAttached(TTabItem& page);
    void PageDetached(TTabItem& page);
    // A page's header changed its size, text or visibility.
    void HeaderChanged();

protected:
    void Resized() override;

private:
    void RealignBrowsers();
    void ProcessMessages();
    // Layout waits for the finished tree and stops once teardown begins.
    bool LayoutHeldBack() const;
    // OnChange is not raised while this control or its window loads or goes away.
    bool NotificationsHeldBack() const;
    // Returns false when this control was destroyed while the slide waited.
    bool RunSlide(TTabItem& outgoing, TTabItem& incoming, TTabTransitionDirection direction);
    // Nothing can advance the animation clock any more (its timer was
    // refused, no one dispatches events, or the application is winding down):
    // a waiting slide must not spin forever.
    static bool AnimationClockStalled();
    void FinishRunningTransition();
    // Empties the pair, ends the clipping, clears the running flag and lays
    // the pages out.
    void EndTransition();
    void OutgoingMovementFinished(TTabItemContent& content);
    void PrepareAppearance(TTabItemContent& content);
    void FocusActiveHeader();
    TTabItemContent* ContentOf(TTabItem* page) const;

    std::unique_ptr<TTabStrip> strip_;
    int tabIndex_ = -1;
    TTabPosition tabPosition_ = TTabPosition::PlatformDefault;
    bool tabPositionStored_ = false;
    std::vector<float> sizes_;
    bool transitionRunning_ = false;
    bool destroying_ = false;
    TTabItem* outgoing_ = nullptr;
    TTabItem* incoming_ = nullptr;

    friend bool ReadTabControlDefinedProperty(Persistent&, std::string_view, IValueReader&);
};

}  // namespace velmora
