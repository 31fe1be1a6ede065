#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "backends/headless/HeadlessPlatform.h"
#include "base/Exceptions.h"
#include "toolkit/shell/ErrorReport.h"

namespace velmora::testing {
namespace {

TEST(FullStopRule, AppendsOnlyAfterCharactersAboveTheFullStop) {
    struct Case {
        const char* text;
        const char* shown;
    } cases[] = {
        {"File not found", "File not found."},
        {"Code 42", "Code 42."},
        {"Continue?", "Continue?."},
        {"Reason:", "Reason:."},
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"(inner)", "(inner)"},
        {"trailing ", "trailing "},
        {"a,", "a,"},    // ',' is just below '.'
        {"a/", "a/."},   // '/' is just above
        {"", ""},
        {"Ошибка", "Ошибка."},  // non-ASCII letters are above '.'
    };
    for (const auto& c : cases) EXPECT_EQ(WithFullStop(c.text), c.shown) << "text: \"" << c.text << "\"";
}

TEST(LastChanceText, HasTheFixedShapeWithPointerWidthUpperCaseOffset) {
    std::string digits(2 * sizeof(void*) - 3, '0');
    EXPECT_EQ(LastChanceText("EReadError", "Velmora", 0xABC, "Stream read error"),
              "Exception EReadError in module Velmora at " + digits + "ABC.\r\nStream read error.\r\n");
    EXPECT_EQ(LastChanceText("EInOutError", "Velmora", 0x1F, "Broken."),
              "Exception EInOutError in module Velmora at " + std::string(2 * sizeof(void*) - 2, '0') +
                  "1F.\r\nBroken.\r\n");
    // An empty message gets no full stop; unlike the error box, '!' does.
    std::string zero(2 * sizeof(void*), '0');
    EXPECT_EQ(LastChanceText("E", "m", 0, ""), "Exception E in module m at " + zero + ".\r\n\r\n");
    EXPECT_EQ(LastChanceText("E", "m", 0, "Stop!"), "Exception E in module m at " + zero + ".\r\nStop!.\r\n");
}

TEST(LastChanceText, MessageTextIsPastedNotInterpreted) {
    std::string text = LastChanceText("Exception", "Velmora", 0, "%s%p%d");
    EXPECT_NE(text.find("\r\n%s%p%d.\r\n"), std::string::npos);
}

TEST(DescribeError, ToolkitErrorsCarryClassMessageAddressAndInnermostMessage) {
    EReadError outer("Error reading Form2");
    EFilerError middle("middle");
    middle.SetInner(std::make_exception_ptr(EReadError("Ancestor for 'X' not found")));
    outer.SetInner(std::make_exception_ptr(middle));
    auto d = DescribeError(std::make_exception_ptr(outer));
    EXPECT_TRUE(d.isToolkitError);
    EXPECT_FALSE(d.isAbort);
    EXPECT_EQ(d.className, "EReadError");
    EXPECT_EQ(d.message, "Error reading Form2");
    EXPECT_EQ(d.innermostMessage, "Ancestor for 'X' not found");
    EXPECT_EQ(ErrorBoxText(d), "Ancestor for 'X' not found.");
    EXPECT_NE(d.address, nullptr);
}

TEST(DescribeError, EmptyInnermostMessageKeepsTheOuterOne) {
    EOSError outer("Outer text");
    outer.SetInner(std::make_exception_ptr(EOSError("")));
    EXPECT_EQ(ErrorBoxText(DescribeError(std::make_exception_ptr(outer))), "Outer text.");
}

TEST(DescribeError, ForeignErrorsAreNotToolkitErrors) {
    auto d = DescribeError(std::make_exception_ptr(std::runtime_error("bad")));
    EXPECT_FALSE(d.isToolkitError);
    EXPECT_EQ(d.className, "std::runtime_error");
    EXPECT_EQ(d.message, "bad");
    auto abort = DescribeError(std::make_exception_ptr(EAbort("quiet")));
    EXPECT_TRUE(abort.isAbort);
    auto odd = DescribeError(std::make_exception_ptr(42));
    EXPECT_FALSE(odd.isToolkitError);
    EXPECT_EQ(odd.className, "int");
}

TEST(LastChanceReport, IsATaskModalErrorBoxWithoutOwner) {
    headless::HeadlessPlatform p;
    p.ModuleFileName = "Velmora";
    p.CodeBase = 0;
    platform::SetCurrentPlatform(&p);
    ShowLastChanceReport(std::make_exception_ptr(EInOutError("Permission denied")));
    platform::SetCurrentPlatform(nullptr);
    ASSERT_EQ(p.MessageBoxes().size(), 1u);
    const auto& box = p.MessageBoxes()[0];
    EXPECT_EQ(box.caption, "Application Error");
    EXPECT_EQ(box.owner, 0u);
    EXPECT_TRUE(box.taskModal);
    EXPECT_EQ(box.icon, platform::MessageBoxIcon::Error);
    EXPECT_EQ(box.buttons, platform::MessageBoxButtons::Ok);
    EXPECT_EQ(box.text.rfind("Exception EInOutError in module Velmora at ", 0), 0u);
    EXPECT_TRUE(box.text.ends_with(".\r\nPermission denied.\r\n")) << box.text;
}

}  // namespace
}  // namespace velmora::testing
