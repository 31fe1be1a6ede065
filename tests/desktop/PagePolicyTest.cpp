// What a page may do in the reader, decided without an engine: where a
// navigation goes and which responses are turned away as what.
#include <gtest/gtest.h>

#include "backends/gtk/PagePolicy.h"

namespace velmora::gtk::testing {
namespace {

using Navigation = PagePolicy::Navigation;
using platform::LoadFailure;

constexpr const char* kChapter = "http://localhost/Nav1.html";

TEST(PagePolicy, NavigationsStayInTheBookLeaveForOtherHostsOnlyByTheReaderAndRetryReloads) {
    const struct {
        const char* uri;
        bool byReader;
        Navigation expected;
    } cases[] = {
        {"http://localhost/Nav2.html", true, Navigation::Allow},
        {"http://LOCALHOST/Nav2.html", true, Navigation::Allow},  // hosts compare without case
        {"http://other.example/page", true, Navigation::OpenOutside},
        {"https://other.example/page", true, Navigation::OpenOutside},
        {"http://other.example/page", false, Navigation::Allow},  // a page's own redirect stays
        {"http://localhost:8080/Nav2.html", true, Navigation::Allow},  // the port is the same book
        {"file:///tmp/page.html", true, Navigation::Allow},
        {"mailto:someone@other.example", true, Navigation::Allow},  // not a web address: the engine's business
        {platform::RetryLink, true, Navigation::Retry},
        {platform::RetryLink, false, Navigation::Retry},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PagePolicy::DecideNavigation(c.uri, c.byReader, kChapter), c.expected)
            << c.uri << (c.byReader ? " by the reader" : " by the page");
}

TEST(PagePolicy, ErrorStatusOfThePageAndAnythingNotShownAreTurnedAway) {
    const struct {
        const char* name;
        bool mainPage;
        unsigned status;
        const char* disposition;
        bool supported;
        std::optional<LoadFailure> refused;
        int httpStatus;
    } cases[] = {
        {"a page", true, 200, nullptr, true, std::nullopt, 0},
        {"the page missing", true, 404, nullptr, true, LoadFailure::HttpStatus, 404},
        {"a server error", true, 500, "inline", true, LoadFailure::HttpStatus, 500},
        {"an image missing inside the page", false, 404, nullptr, true, std::nullopt, 0},
        {"an attachment", true, 200, "  Attachment; filename=Nav2.html", true, LoadFailure::NotAPage, 0},
        {"an attachment inside the page", false, 200, "attachment", true, LoadFailure::NotAPage, 0},
        {"a type the engine cannot show", true, 200, nullptr, false, LoadFailure::NotAPage, 0},
        {"shown inline", true, 200, "inline; filename=attachment.html", true, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto refused =
            PagePolicy::DecideResponse(c.mainPage, c.status, c.disposition, c.supported, "application/x-thing");
        ASSERT_EQ(refused.has_value(), c.refused.has_value());
        if (!refused) continue;
        EXPECT_EQ(refused->kind, *c.refused);
        EXPECT_EQ(refused->httpStatus, c.httpStatus);
        if (refused->kind == LoadFailure::NotAPage) EXPECT_EQ(refused->mimeType, "application/x-thing");
    }
}

}  // namespace
}  // namespace velmora::gtk::testing
