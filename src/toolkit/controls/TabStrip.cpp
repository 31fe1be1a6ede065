#include "TabStrip.h"

#include <algorithm>
#include <cmath>

#include "platform/Platform.h"
#include "toolkit/controls/TabControl.h"
#include "toolkit/controls/TabItem.h"
#include "toolkit/controls/Theme.h"

namespace velmora {

const ClassInfo& TTabStrip::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TTabStrip",
        .parent = &TControl::StaticClassInfo(),
        .isComponent = true,
    };
    return info;
}

TTabStrip::TTabStrip(TTabControl& tabControl) : TControl(nullptr), tabControl_(tabControl) {
    // Headers scrolled out of the strip must not paint over the pages.
    SetClipChildren(true);
}

namespace {

template <class F>
void ForEachVisibleHeader(const std::vector<TControl*>& children, F f) {
    for (TControl* child : children)
        if (auto* header = dynamic_cast<TTabItem*>(child); header && header->Visible()) f(*header);
}

}  // namespace

float TTabStrip::ContentWidth() const {
    float width = 0;
    ForEachVisibleHeader(Controls(), [&](TTabItem& header) {
        width += header.HeaderSize().width + header.Margins().Left() + header.Margins().Right();
    });
    return width;
}

float TTabStrip::PreferredHeight() const {
    float height = 0;
    ForEachVisibleHeader(Controls(), [&](TTabItem& header) {
        height = std::max(height, header.HeaderSize().height + header.Margins().Top() + header.Margins().Bottom());
    });
    return std::max(height, kMinimumHeight);
}

void TTabStrip::LayoutHeaders() {
    const float overflow = std::max(0.0f, ContentWidth() - Width());
    scrollOffset_ = std::clamp(scrollOffset_, 0.0f, overflow);
    float x = -scrollOffset_;
    ForEachVisibleHeader(Controls(), [&](TTabItem& header) {
        const platform::SizeF size = header.HeaderSize();
        const TBounds& m = header.Margins();
        header.SetBounds(x + m.Left(), m.Top(), size.width, std::max(0.0f, Height() - m.Top() - m.Bottom()));
        x += size.width + m.Left() + m.Right();
    });
}

void TTabStrip::SetScrollOffset(float offset) {
    const float overflow = std::max(0.0f, ContentWidth() - Width());
    offset = std::clamp(offset, 0.0f, overflow);
    if (offset == scrollOffset_) return;
    scrollOffset_ = offset;
    LayoutHeaders();
    Repaint();
}

void TTabStrip::ScrollIntoView(TTabItem& header) {
    if (!Overflows() || !header.Visible()) return;
    // Header bounds are already shifted by the offset: bring them back to
    // strip content coordinates first.
    const float left = header.Position().X() - header.Margins().Left() + scrollOffset_;
    const float right = header.Position().X() + header.Width() + header.Margins().Right() + scrollOffset_;
    if (left < scrollOffset_) {
        SetScrollOffset(left);
    } else if (right > scrollOffset_ + Width()) {
        SetScrollOffset(right - Width());
    }
}

void TTabStrip::Resized() { LayoutHeaders(); }

void TTabStrip::MouseWheel(unsigned shift, int delta, bool& handled) {
    TControl::MouseWheel(shift, delta, handled);
    // The wheel never changes the page; it only scrolls headers that do not fit.
    handled = true;
    if (!Overflows()) return;
    ScrollBy(-static_cast<float>(delta) / 120.0f * kWheelStep);
}

void TTabStrip::TouchPan(float dx, float dy) {
    TControl::TouchPan(dx, dy);
    auto& platform = platform::CurrentPlatform();
    const std::uint64_t now = platform.HighResolutionCounter();
    const double gap = static_cast<double>(now - panLastCounter_) /
                       static_cast<double>(std::max<std::uint64_t>(1, platform.HighResolutionFrequency()));
    if (panLastCounter_ == 0 || gap > kPanGestureGap) panLastDx_ = 0;
    panLastCounter_ = now;
    const float step = dx - panLastDx_;
    panLastDx_ = dx;
    // Travel of up to one unit still counts as a tap.
    if (std::fabs(dx) <= 1.0f || !Overflows()) return;
    ScrollBy(-step);
}

void TTabStrip::Paint(platform::ICanvas& canvas) {
    const RectF rect = LocalRect();
    canvas.FillRect(rect, theme::TabStripBackground);
    const bool atBottom = tabControl_.EffectiveTabPosition() == TTabPosition::Bottom;
    const float y = atBottom ? rect.top + 0.5f : rect.bottom - 0.5f;
    canvas.DrawLine(rect.left, y, rect.right, y, theme::Separator, 1);
}

}  // namespace velmora
