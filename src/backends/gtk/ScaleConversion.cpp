#include "ScaleConversion.h"

#include <cmath>

namespace velmora::gtk {

namespace {
int FloorDiv(int a, int b) {
    int q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}
int CeilDiv(int a, int b) { return -FloorDiv(-a, b); }
int SafeScale(int scale) { return scale < 1 ? 1 : scale; }
}  // namespace

int DeviceToLogicalExtent(int pixels, int scale) {
    if (pixels <= 0) return 0;
    return CeilDiv(pixels, SafeScale(scale));
}

int DeviceToLogicalPosition(int pixels, int scale) { return FloorDiv(pixels, SafeScale(scale)); }

platform::RectI DeviceToLogicalRect(const platform::RectI& rect, int scale) {
    scale = SafeScale(scale);
    platform::RectI result;
    result.left = FloorDiv(rect.left, scale);
    result.top = FloorDiv(rect.top, scale);
    result.right = CeilDiv(rect.right, scale);
    result.bottom = CeilDiv(rect.bottom, scale);
    if (result.right < result.left) result.right = result.left;
    if (result.bottom < result.top) result.bottom = result.top;
    return result;
}

int LogicalToDevicePoint(double logical, int scale) {
    return static_cast<int>(std::floor(logical * SafeScale(scale)));
}

}  // namespace velmora::gtk
