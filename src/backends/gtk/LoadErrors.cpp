#include "LoadErrors.h"

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

namespace velmora::gtk {

using platform::LoadFailure;

namespace {

// The engine's own loader turns a load away (it follows no more than its
// limit of redirections, nor a redirection it may not follow) with an error
// of no domain and code 0; its other errors all have a domain.
bool IsLoaderRefusal(const GError* error) {
    const char* domain = g_quark_to_string(error->domain);
    return (!domain || !*domain) && error->code == 0;
}

}  // namespace

LoadFailure ClassifyLoadError(const GError* error) {
    if (!error) return LoadFailure::Other;
    if (error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_CONNECTION_REFUSED: return LoadFailure::Refused;
        case G_IO_ERROR_HOST_NOT_FOUND:
        case G_IO_ERROR_HOST_UNREACHABLE:
        case G_IO_ERROR_NETWORK_UNREACHABLE: return LoadFailure::Unreachable;
        case G_IO_ERROR_TIMED_OUT: return LoadFailure::TimedOut;
        case G_IO_ERROR_PARTIAL_INPUT:
        case G_IO_ERROR_BROKEN_PIPE:
        case G_IO_ERROR_CLOSED: return LoadFailure::Reset;
        default: return LoadFailure::Other;
        }
    }
    if (error->domain == G_RESOLVER_ERROR) return LoadFailure::Unreachable;
    if (error->domain == SOUP_SESSION_ERROR) {
        if (error->code == SOUP_SESSION_ERROR_TOO_MANY_REDIRECTS || error->code == SOUP_SESSION_ERROR_REDIRECT_BAD_URI)
            return LoadFailure::TooManyRedirects;
        if (error->code == SOUP_SESSION_ERROR_PARSING || error->code == SOUP_SESSION_ERROR_ENCODING)
            return LoadFailure::Reset;
        return LoadFailure::Other;
    }
    if (error->domain == WEBKIT_POLICY_ERROR && error->code == WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE)
        return LoadFailure::NotAPage;
    if (IsLoaderRefusal(error)) return LoadFailure::TooManyRedirects;
    return LoadFailure::Other;
}

std::optional<platform::LoadFailureInfo> DescribeLoadError(const GError* error) {
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
        return std::nullopt;
    platform::LoadFailureInfo failure;
    failure.kind = ClassifyLoadError(error);
    // The engine's own words only where ours say nothing precise.
    if (failure.kind == LoadFailure::Other && error && error->message) failure.detail = error->message;
    return failure;
}

}  // namespace velmora::gtk
