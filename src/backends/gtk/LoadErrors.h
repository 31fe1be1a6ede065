// What a load-failed error of the engine means for the reader, read from the
// error's domain and code alone (never from its wording, which differs
// between the engine's versions and languages).
#pragma once

#include <glib.h>

#include <optional>

#include "platform/EnginePages.h"

namespace velmora::gtk {

// The kind of a load-failed error of the engine.
platform::LoadFailure ClassifyLoadError(const GError* error);

// What the reader is told of a failed load; none when the load was only
// replaced by a newer one or turned away by the reader's own choice.
std::optional<platform::LoadFailureInfo> DescribeLoadError(const GError* error);

}  // namespace velmora::gtk
