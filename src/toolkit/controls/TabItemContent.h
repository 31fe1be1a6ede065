// The content area of a tab page: the container that receives every child of
// the page and is shown in the tab control's page area. It also carries the
// page's horizontal movement while a slide runs.
#pragma once

#include <memory>

#include "toolkit/controls/Animation.h"
#include "toolkit/controls/Control.h"

namespace velmora {

class TTabItem;

class TTabItemContent : public TControl {
public:
    explicit TTabItemContent(TTabItem& page);
    ~TTabItemContent() override;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    TTabItem& Page() const { return page_; }

    // Controls of the content keep their prepared appearance while hidden;
    // set for both pages of a slide and never cleared.
    bool KeepsPreparedAppearance() const { return keepPrepared_; }
    void SetKeepsPreparedAppearance(bool v) { keepPrepared_ = v; }

    // --- horizontal movement --------------------------------------------
    // Stops an earlier movement (the content jumps to its end), then moves
    // Position.X from its rounded current value to the rounded target.
    std::shared_ptr<TFloatAnimation> StartMovement(float targetX, double duration);
    const std::shared_ptr<TFloatAnimation>& Movement() const { return movement_; }
    // Stops the movement at its end value, running its finishing step.
    void StopMovement();
    // Forgets the movement without stopping it.
    std::shared_ptr<TFloatAnimation> DetachMovement();
    // Leaves the movement where it stands, without callbacks.
    void AbandonMovement();

    platform::AccessibleRole AccessibleRole() const override;
    TControl* AccessibleParentControl() const override;

private:
    TTabItem& page_;
    bool keepPrepared_ = false;
    std::shared_ptr<TFloatAnimation> movement_;
};

}  // namespace velmora
