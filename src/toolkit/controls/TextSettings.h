// How a control lays out its caption: wrapping, alignment and trimming. The
// font and colour come from the theme.
#pragma once

#include <functional>

#include "toolkit/core/Component.h"

namespace velmora {

enum class TTextAlign { Center, Leading, Trailing };
enum class TTextTrimming { None, Character, Word };
extern const EnumInfo TextAlignEnum;
extern const EnumInfo TextTrimmingEnum;

class TTextSettings : public Persistent {
public:
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v);
    TTextAlign HorzAlign() const { return horzAlign_; }
    void SetHorzAlign(TTextAlign v);
    TTextAlign VertAlign() const { return vertAlign_; }
    void SetVertAlign(TTextAlign v);
    TTextTrimming Trimming() const { return trimming_; }
    void SetTrimming(TTextTrimming v);

    // Text flags for the canvas.
    unsigned Flags() const;

    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange) OnChange();
    }
    bool wordWrap_ = false;
    TTextAlign horzAlign_ = TTextAlign::Center;
    TTextAlign vertAlign_ = TTextAlign::Center;
    TTextTrimming trimming_ = TTextTrimming::Character;
};

}  // namespace velmora
