// The reader's own failure page: where its words come from the address, and
// that nothing a server sends can break the page.
#include <gtest/gtest.h>

#include <string>

#include "program/ReaderPages.h"

namespace velmora::testing {
namespace {

using platform::LoadFailure;
using platform::LoadFailureInfo;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ReaderPages, RefusedConnectionNamesTheHostAndPortOfTheAddress) {
    LoadFailureInfo refused;
    refused.kind = LoadFailure::Refused;
    const struct {
        const char* uri;
        const char* says;
    } cases[] = {
        {"http://localhost/Nav2.html", "служба книги не запущена или порт 80 занят"},
        {"https://127.0.0.1/Nav2.html", "порт 443 занят"},
        {"HTTP://[::1]:8080/Nav2.html?x=1", "порт 8080 занят"},
        {"http://reader@books.example:81/Nav2.html", "Сервер «books.example» не принимает соединения (порт 81)"},
        {"http://books.example#top", "Сервер «books.example» не принимает соединения (порт 80)"},
        {"not an address", "Сервер сервер глав не принимает"},
    };
    for (const auto& c : cases) {
        const std::string page = ReaderPages().FailurePage(c.uri, refused);
        EXPECT_TRUE(Contains(page, c.says)) << c.uri << "\n" << page;
        EXPECT_TRUE(Contains(page, std::string("<title>") + ReaderPages::kFailureTitle + "</title>"));
        EXPECT_TRUE(Contains(page, std::string("href=\"") + platform::RetryLink + "\""));
    }
}

TEST(ReaderPages, EscapingKeepsTextAndReplacesWhatIsNotUtf8) {
    const struct {
        std::string text;
        std::string html;
    } cases[] = {
        {"Глава «1»", "Глава «1»"},
        {"<a href=\"x\">&'", "&lt;a href=&quot;x&quot;&gt;&amp;&apos;"},
        {"a\xff" "b", "a\xEF\xBF\xBD" "b"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},          // an overlong '/'
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a lone surrogate
        {"\xD0", "\xEF\xBF\xBD"},                          // cut off at the end
        {"\xF0\x9F\x93\x96", "\xF0\x9F\x93\x96"},          // beyond the first plane
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeHtml(c.text), c.html) << c.text;
}

}  // namespace
}  // namespace velmora::testing
