// The page the reader shows in place of a chapter that could not be shown:
// in the reader's language, naming the chapter, saying what went wrong and
// what the reader can do, with a button that loads the chapter again.
#pragma once

#include <glib.h>

#include <string>

namespace velmora::gtk {

enum class LoadFailure {
    Refused,           // nothing listens on the server's port
    Unreachable,       // host unknown or no route to it
    TimedOut,          // the server stayed silent too long
    Reset,             // the connection broke before the page was complete
    TooManyRedirects,  // the server sends the request round in circles
    HttpStatus,        // the server answered with an error status
    NotAPage,          // an attachment or a type the engine cannot show
    Crashed,           // the engine process showing the page ended
    Unresponsive,      // the page stopped answering and was ended
    Other,
};

struct FailureInfo {
    LoadFailure kind = LoadFailure::Other;
    int httpStatus = 0;
    std::string mimeType;  // for NotAPage
    std::string detail;    // the engine's own words, shown small
};

// The kind of a load-failed error of the engine.
LoadFailure ClassifyLoadError(const GError* error);

// The link of the page's button; the engine loads the chapter again when a
// page asks for it.
inline constexpr const char* kRetryUri = "velmora-retry:chapter";

// A complete UTF-8 HTML document. Everything taken from the address or the
// engine is escaped.
std::string ErrorPageHtml(const std::string& chapterUri, const FailureInfo& failure);

// Title of every failure page (tests and the window title read it).
inline constexpr const char* kErrorPageTitle = "Глава не загружена";

}  // namespace velmora::gtk
