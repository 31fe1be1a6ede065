#include "TextSettings.h"

#include "platform/PlatformTypes.h"

namespace velmora {

const EnumInfo TextAlignEnum{"TTextAlign", {"Center", "Leading", "Trailing"}};
const EnumInfo TextTrimmingEnum{"TTextTrimming", {"None", "Character", "Word"}};

const ClassInfo& TTextSettings::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TTextSettings",
        .parent = &Persistent::StaticClassInfo(),
        .properties = {prop::Boolean("WordWrap", &TTextSettings::SetWordWrap),
                       prop::Enum("HorzAlign", TextAlignEnum, &TTextSettings::SetHorzAlign),
                       prop::Enum("VertAlign", TextAlignEnum, &TTextSettings::SetVertAlign),
                       prop::Enum("Trimming", TextTrimmingEnum, &TTextSettings::SetTrimming)}};
    return info;
}

void TTextSettings::SetWordWrap(bool v) {
    if (wordWrap_ == v) return;
    wordWrap_ = v;
    Changed();
}

void TTextSettings::SetHorzAlign(TTextAlign v) {
    if (horzAlign_ == v) return;
    horzAlign_ = v;
    Changed();
}

void TTextSettings::SetVertAlign(TTextAlign v) {
    if (vertAlign_ == v) return;
    vertAlign_ = v;
    Changed();
}

void TTextSettings::SetTrimming(TTextTrimming v) {
    if (trimming_ == v) return;
    trimming_ = v;
    Changed();
}

unsigned TTextSettings::Flags() const {
    unsigned flags = platform::TextNone;
    if (wordWrap_) flags |= platform::TextWordWrap;
    if (horzAlign_ == TTextAlign::Center) flags |= platform::TextHCenter;
    if (vertAlign_ == TTextAlign::Center) flags |= platform::TextVCenter;
    // The canvas knows one way of cutting: at a character boundary.
    if (trimming_ != TTextTrimming::None) flags |= platform::TextTrimCharacter;
    return flags;
}

}  // namespace velmora
