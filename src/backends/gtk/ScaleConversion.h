// Conversions between the device pixels the toolkit speaks and the logical
// pixels GTK speaks. GTK 3 scales by a whole factor per monitor.
#pragma once

#include "platform/PlatformTypes.h"

namespace velmora::gtk {

// Logical extent that holds the given device pixels: rounds up, so that a
// requested client area is never smaller than asked for.
int DeviceToLogicalExtent(int pixels, int scale);
// Logical coordinate of a device position: rounds towards negative infinity,
// so that a rectangle converted edge by edge still covers its pixels.
int DeviceToLogicalPosition(int pixels, int scale);
// Device rectangle -> the smallest logical rectangle that covers it.
platform::RectI DeviceToLogicalRect(const platform::RectI& rect, int scale);
// Logical pointer coordinate (fractional, as GDK reports it) -> device pixel.
int LogicalToDevicePoint(double logical, int scale);

}  // namespace velmora::gtk
