#include "TabItemContent.h"

#include "toolkit/controls/TabItem.h"

namespace velmora {

const ClassInfo& TTabItemContent::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TTabItemContent",
        .parent = &TControl::StaticClassInfo(),
        .isComponent = true,
    };
    return info;
}

TTabItemContent::TTabItemContent(TTabItem& page) : TControl(nullptr), page_(page) {}

TTabItemContent::~TTabItemContent() { AbandonMovement(); }

std::shared_ptr<TFloatAnimation> TTabItemContent::StartMovement(float targetX, double duration) {
    StopMovement();
    auto movement = std::make_shared<TFloatAnimation>([this] { return Position().X(); },
                                                      [this](float x) { Position().SetX(x); });
    movement->SetDuration(duration);
    movement->SetAnimationType(TAnimationType::In);
    movement->SetInterpolation(TInterpolationType::Linear);
    movement->SetRoundToWhole(true);
    movement->SetStartFromCurrent(true);
    movement->SetStopValue(targetX);
    movement_ = movement;
    return movement;
}

void TTabItemContent::StopMovement() {
    // Keep the animation alive through its own finishing step, which may
    // detach it from this content.
    std::shared_ptr<TFloatAnimation> movement = movement_;
    if (movement) movement->Stop();
}

std::shared_ptr<TFloatAnimation> TTabItemContent::DetachMovement() { return std::move(movement_); }

void TTabItemContent::AbandonMovement() {
    if (movement_) {
        movement_->Abandon();
        movement_->OnProcess = nullptr;
        movement_->OnFinish = nullptr;
        movement_.reset();
    }
}

// ---------------------------------------------------------------- accessibility

platform::AccessibleRole TTabItemContent::AccessibleRole() const { return platform::AccessibleRole::Panel; }
TControl* TTabItemContent::AccessibleParentControl() const { return &page_; }

}  // namespace velmora
