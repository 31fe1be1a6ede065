#include "ToolkitServices.h"

#include <cassert>

namespace velmora {

namespace {

ToolkitServices*& Current() {
    static ToolkitServices none;
    static ToolkitServices* current = &none;
    return current;
}

}  // namespace

ToolkitServices& Services() { return *Current(); }

ScopedServices::ScopedServices(ToolkitServices services) : services_(std::move(services)), previous_(Current()) {
    Current() = &services_;
}

ScopedServices::~ScopedServices() {
    // Out of order, the previous object could already be gone.
    assert(Current() == &services_);
    Current() = previous_;
}

}  // namespace velmora
