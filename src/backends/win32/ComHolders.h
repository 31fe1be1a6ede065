// Owners for COM interfaces and COM strings, so nothing is released by hand.
// Interfaces: the SDK's own smart pointer. Strings: a BSTR freed with
// SysFreeString when it goes out of scope.
#pragma once

#include "WinApi.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <utility>

namespace velmora::win32 {

template <typename T>
using ComPtr = Microsoft::WRL::ComPtr<T>;

// One BSTR of our own. Out() hands its address to a call that returns a new
// string (whatever it held first is freed); Release() gives the string away
// to a caller that takes ownership (an out parameter of our own object).
class BStr {
public:
    BStr() = default;
    explicit BStr(const wchar_t* text) : text_(text ? SysAllocString(text) : nullptr) {}
    // A copy of length characters, embedded zeros included.
    BStr(const wchar_t* text, UINT length) : text_(SysAllocStringLen(text, length)) {}
    ~BStr() { SysFreeString(text_); }
    BStr(BStr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    BStr& operator=(BStr&& other) noexcept {
        if (this != &other) {
            SysFreeString(text_);
            text_ = std::exchange(other.text_, nullptr);
        }
        return *this;
    }
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;

    BSTR Get() const { return text_; }
    BSTR* Out() {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }
    BSTR Release() { return std::exchange(text_, nullptr); }
    explicit operator bool() const { return text_ != nullptr; }

private:
    BSTR text_ = nullptr;
};

}  // namespace velmora::win32
