// The pages an engine shows of its own in place of a chapter, and the line it
// shows while one loads. The backend only says what went wrong; the words and
// the page come from above (the program installs them on its platform). A
// backend without them leaves failures to the engine's own handling.
#pragma once

#include <string>

namespace velmora::platform {

// Why a chapter could not be shown, as far as the reader needs to know.
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

struct LoadFailureInfo {
    LoadFailure kind = LoadFailure::Other;
    int httpStatus = 0;     // for HttpStatus
    std::string mimeType;   // for NotAPage
    std::string detail;     // the engine's own words, where ours say nothing precise
};

// The link of the failure page's button: the engine loads the chapter again
// when the page asks for it, and goes nowhere.
inline constexpr const char* RetryLink = "velmora-retry:chapter";

class IEnginePages {
public:
    virtual ~IEnginePages() = default;
    // A complete UTF-8 HTML document standing in for the chapter at
    // chapterUri. Everything taken from the address or the failure is escaped.
    virtual std::string FailurePage(const std::string& chapterUri, const LoadFailureInfo& failure) const = 0;
    // The words over the page while a chapter is slow to arrive.
    virtual std::string LoadingText() const = 0;
};

}  // namespace velmora::platform
