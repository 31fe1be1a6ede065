// The built TFORM2 resource, byte by byte where the encoding matters.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "toolkit/description/FormStream.h"
#include "toolkit/description/FormText.h"

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes LoadTform2() {
    std::ifstream in(VELMORA_TFORM2_BIN, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes Str(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes Short(std::string_view s) {
    Bytes b{static_cast<std::uint8_t>(s.size())};
    b.insert(b.end(), s.begin(), s.end());
    return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Wide(std::string_view utf8) {
    std::u16string units;
    Utf8ToUtf16(utf8, units);
    Bytes b{18};
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(units.size() >> (8 * i)));
    for (char16_t u : units) {
        b.push_back(static_cast<std::uint8_t>(u & 0xFF));
        b.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return b;
}
Bytes Utf8(std::string_view s) {
    Bytes b{20};
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(s.size() >> (8 * i)));
    b.insert(b.end(), s.begin(), s.end());
    return b;
}

std::size_t Count(const Bytes& haystack, const Bytes& needle) {
    std::size_t n = 0;
    for (auto it = haystack.begin();
         (it = std::search(it, haystack.end(), needle.begin(), needle.end())) != haystack.end(); ++it)
        ++n;
    return n;
}

class Tform2Binary : public ::testing::Test {
protected:
    Bytes form = LoadTform2();
};

TEST_F(Tform2Binary, StartsWithTheWindowsOwnEntries) {
    ASSERT_FALSE(form.empty()) << "cannot read " << VELMORA_TFORM2_BIN;
    const Bytes head = Cat({Str("TPF0"), Short("TForm2"), Short("Form2"), Short("Left"), {2, 0}, Short("Top"), {2, 0},
                            Short("Caption"), Wide("Тальмерин"), Short("ClientHeight"), {3, 0xE0, 0x01},
                            Short("ClientWidth"), {3, 0x70, 0x01}, Short("FormFactor.Width"), {3, 0x40, 0x01},
                            Short("FormFactor.Height"), {3, 0xE0, 0x01}, Short("FormFactor.Devices"), {11},
                            Short("Desktop"), {0}, Short("DesignerMasterStyle"), {2, 0}, {0},
                            Short("TTabControl"), Short("TabControl1")});
    ASSERT_GE(form.size(), head.size());
    EXPECT_EQ(Bytes(form.begin(), form.begin() + static_cast<std::ptrdiff_t>(head.size())), head);
    const Bytes tail = Cat({Short("Size.PlatformDefault"), {8, 0, 0, 0, 0, 0}});
    EXPECT_TRUE(std::equal(tail.rbegin(), tail.rend(), form.rbegin())) << "ends with the five end marks";
}

TEST_F(Tform2Binary, EncodingChoices) {
    const Bytes ext368 = {5, 0, 0, 0, 0, 0, 0, 0, 0xB8, 0x07, 0x40};
    // The tab control, the four buttons and the web view; the pages are 92 and 96 wide.
    EXPECT_EQ(Count(form, Cat({Short("Size.Width"), ext368})), 6u);
    EXPECT_EQ(Count(form, Cat({Short("Sizes"), {1, 15, 0, 0, 0xB8, 0x43, 15, 0, 0, 0xE2, 0x43, 15, 0, 0, 0xB8, 0x43,
                                                15, 0, 0, 0xE2, 0x43, 0}})),
              1u);
    EXPECT_EQ(Count(form, Cat({Short("CustomIcon"), {14, 1, 0, 0}, Short("IsSelected")})), 2u);
    EXPECT_EQ(Count(form, Cat({Short("StyleLookup"), {18, 0, 0, 0, 0}})), 2u);
    EXPECT_EQ(Count(form, Cat({Short("Text"), Wide("Оглавление")})), 1u);
    EXPECT_EQ(Count(form, Cat({Short("Text"), Wide("Содержание")})), 1u);
    for (const char* caption : {"Зарождение и развитие мореплавания", "Современные способы навигации",
                                "Радионавигационные средства определения места в море", "Картографические проекции"})
        EXPECT_EQ(Count(form, Cat({Short("Text"), Utf8(caption)})), 1u) << caption;
    for (int i = 1; i <= 4; ++i) {
        std::string handler = "Button" + std::to_string(i) + "Click";
        EXPECT_EQ(Count(form, Cat({Short("OnClick"), {7}, Short(handler)})), 1u) << handler;
    }
    EXPECT_EQ(Count(form, Cat({Short("TextSettings.WordWrap"), {9}})), 4u);
    EXPECT_EQ(Count(form, Short("Position.Y")), 3u) << "Button1 stores no vertical position";
    EXPECT_EQ(Count(form, Cat({Short("TabPosition"), {7}, Short("PlatformDefault")})), 1u);
    EXPECT_EQ(Count(form, Cat({Short("ExplicitSize.cx"), {5, 0, 0, 0, 0, 0, 0, 0, 0xB8, 0x05, 0x40}})), 1u);  // 92
}

TEST_F(Tform2Binary, ObjectsInStreamOrderAndTextRoundTrip) {
    std::string text = FormBinaryToText(form);
    std::vector<std::string> objects;
    for (std::size_t at = text.find("object "); at != std::string::npos; at = text.find("object ", at + 1))
        objects.push_back(text.substr(at + 7, text.find('\n', at) - at - 7));
    EXPECT_EQ(objects, (std::vector<std::string>{"Form2: TForm2", "TabControl1: TTabControl", "TabItem1: TTabItem",
                                                 "Button1: TButton", "Button2: TButton", "Button3: TButton",
                                                 "Button4: TButton", "TabItem2: TTabItem", "WebBrowser1: TWebBrowser"}));
    EXPECT_EQ(FormTextToBinary(text), form);
}

}  // namespace
