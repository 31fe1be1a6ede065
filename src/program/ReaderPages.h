// The reader's own pages in its language: the page shown in place of a
// chapter that could not be shown (naming the chapter, saying what went wrong
// and what the reader can do, with a button that loads the chapter again)
// and the words over the page while a chapter loads. The backend only says
// what went wrong; every word the reader reads about it is here.
#pragma once

#include <string>

#include "platform/EnginePages.h"

namespace velmora {

class ReaderPages final : public platform::IEnginePages {
public:
    std::string FailurePage(const std::string& chapterUri, const platform::LoadFailureInfo& failure) const override;
    std::string LoadingText() const override;

    // Title of every failure page (tests and the window title read it).
    static constexpr const char* kFailureTitle = "Глава не загружена";
};

// Text as HTML: the five markup characters escaped, and whatever is not
// valid UTF-8 (a server's bytes) replaced, so the page stays a valid page.
std::string EscapeHtml(const std::string& text);

}  // namespace velmora
