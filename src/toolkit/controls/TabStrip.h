// The header strip of a tab control: holds the page headers side by side,
// scrolls them when they are wider than the strip and draws its background.
#pragma once

#include <cstdint>

#include "toolkit/controls/Control.h"

namespace velmora {

class TTabControl;
class TTabItem;

class TTabStrip : public TControl {
public:
    explicit TTabStrip(TTabControl& tabControl);
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    TTabControl& TabControl() const { return tabControl_; }

    // Sum of the visible headers' widths including their margins.
    float ContentWidth() const;
    // Tallest visible header including its margins, never less than 5.
    float PreferredHeight() const;
    bool Overflows() const { return ContentWidth() > Width(); }

    // Places the headers from the left edge, without gaps, each with its own
    // width and the strip's height, shifted by the scroll offset.
    void LayoutHeaders();

    float ScrollOffset() const { return scrollOffset_; }
    // Clamped to what the overflow allows; relays the headers out.
    void SetScrollOffset(float offset);
    void ScrollBy(float delta) { SetScrollOffset(scrollOffset_ + delta); }
    void ScrollIntoView(TTabItem& header);

    void Paint(platform::ICanvas& canvas) override;
    void MouseWheel(unsigned shift, int delta, bool& handled) override;

    // A touch pan over the strip or a header; dx is the travel since the
    // touch began. Scrolls only when the headers overflow.
    void TouchPan(float dx, float dy) override;

    static constexpr float kMinimumHeight = 5;
    static constexpr float kWheelStep = 30;

protected:
    void Resized() override;

private:
    TTabControl& tabControl_;
    float scrollOffset_ = 0;
    // The form reports a pan's travel since the touch began but not the
    // begin itself: a pause longer than kPanGestureGap starts a new gesture.
    float panLastDx_ = 0;
    std::uint64_t panLastCounter_ = 0;
    static constexpr double kPanGestureGap = 0.1;
};

}  // namespace velmora
