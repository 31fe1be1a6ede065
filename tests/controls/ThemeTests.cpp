#include <gtest/gtest.h>

#include "toolkit/controls/Theme.h"

namespace velmora {
namespace {

TEST(Theme, PageHeadersOfTheBookWindowSizeTo92And96By28) {
    EXPECT_EQ(theme::HeaderSizeFor("Оглавление").width, 92);
    EXPECT_EQ(theme::HeaderSizeFor("Содержание").width, 96);
    EXPECT_EQ(theme::HeaderSizeFor("Оглавление").height, 28);
    EXPECT_EQ(theme::HeaderSizeFor("").width, 2 * theme::TabHeaderPaddingX);
}

TEST(Theme, DecodesUtf8AndSurvivesBrokenBytes) {
    EXPECT_EQ(theme::DecodeUtf8("aЖ€"), (std::u32string{U'a', U'Ж', U'€'}));
    EXPECT_EQ(theme::DecodeUtf8("\xD0"), std::u32string{U'\uFFFD'});      // cut short
    EXPECT_EQ(theme::DecodeUtf8("\xFF" "a"), (std::u32string{U'\uFFFD', U'a'}));
    EXPECT_EQ(theme::DecodeUtf8("\xE2\x28\xA1"), (std::u32string{U'\uFFFD', U'(', U'\uFFFD'}));
}

}  // namespace
}  // namespace velmora
