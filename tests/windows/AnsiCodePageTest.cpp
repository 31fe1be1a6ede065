// 8-bit strings of a form description are read in the system's ANSI code
// page. CTest runs this suite once per system locale (LC_ALL), and
// VELMORA_EXPECT_ACP names the code page that locale must give.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "toolkit/description/FormStream.h"

namespace velmora::testing {
namespace {

std::string ReadShort(const std::string& bytes) {
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(bytes.size())};
    data.insert(data.end(), bytes.begin(), bytes.end());
    FormStreamReader reader(data);
    return reader.ReadStringPayload(ValueType::vaString);
}

std::string ReadLong(const std::string& bytes) {
    std::vector<std::uint8_t> data(4);
    const auto n = static_cast<std::uint32_t>(bytes.size());
    for (int i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(n >> (8 * i));
    data.insert(data.end(), bytes.begin(), bytes.end());
    FormStreamReader reader(data);
    return reader.ReadStringPayload(ValueType::vaLString);
}

TEST(AnsiCodePage, EightBitStringsDecodeInTheSystemCodePage) {
    const UINT acp = GetACP();
    if (const char* expected = std::getenv("VELMORA_EXPECT_ACP")) ASSERT_EQ(acp, std::strtoul(expected, nullptr, 10));

    struct Case {
        UINT codePage;
        std::string bytes;
        std::string utf8;
    };
    const Case cases[] = {
        {1251, "\xC2\xE8\xE4", "\u0412\u0438\u0434"},  // "Вид"
        {1251, "\x80\xB8", "\u0402\u0451"},
        {1252, "\xC2\xE8\xE4", "\u00C2\u00E8\u00E4"},
        {1252, "\x80\x9F", "\u20AC\u0178"},
    };
    int checked = 0;
    for (const Case& c : cases) {
        if (c.codePage != acp) continue;
        EXPECT_EQ(ReadShort(c.bytes), c.utf8) << "code page " << acp;
        EXPECT_EQ(ReadLong(c.bytes), c.utf8) << "code page " << acp;
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no cases for code page " << acp;
    // Plain ASCII reads the same in every code page, the empty string too.
    EXPECT_EQ(ReadShort("Button3"), "Button3");
    EXPECT_EQ(ReadLong(""), "");
}

}  // namespace
}  // namespace velmora::testing
