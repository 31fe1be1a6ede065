// A reference to a component that does not keep it alive and reads as null
// once the component is being destroyed. Code that may outlive what it points
// at (a posted callback, a wait loop that dispatches events, a list walked
// while handlers run) holds one instead of a raw pointer.
#pragma once

#include <memory>

#include "Component.h"

namespace velmora {

template <class T>
class ComponentRef {
public:
    ComponentRef() = default;
    ComponentRef(T* component)  // NOLINT: converting on purpose, like a pointer
        : component_(component), alive_(component ? component->Liveness() : nullptr) {}

    T* Get() const { return alive_ && *alive_ ? component_ : nullptr; }
    T* operator->() const { return Get(); }
    explicit operator bool() const { return Get() != nullptr; }

private:
    T* component_ = nullptr;
    std::shared_ptr<const bool> alive_;
};

}  // namespace velmora
