// Owners for GDI objects: a handle deleted with DeleteObject or DeleteDC when
// it goes out of scope, and a selection undone likewise.
#pragma once

#include "WinApi.h"

#include <memory>
#include <type_traits>

namespace velmora::win32 {

struct GdiObjectDelete {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
template <typename Handle>
using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDelete>;

struct DcDelete {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
// A memory device context of our own (CreateCompatibleDC).
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDelete>;

// Selects object into dc for the lifetime of this value.
class GdiSelection {
public:
    GdiSelection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~GdiSelection() { SelectObject(dc_, old_); }
    GdiSelection(const GdiSelection&) = delete;
    GdiSelection& operator=(const GdiSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace velmora::win32
