// What the user is told about an error: the texts of the error box and of the
// last-chance report, and the report itself.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace velmora {

// What is known about an error object, whatever its type.
struct ErrorDescription {
    bool isToolkitError = false;  // derives from Exception
    bool isAbort = false;         // EAbort or a descendant
    std::string className;
    std::string message;
    // The message of the innermost wrapped error, or empty.
    std::string innermostMessage;
    const void* address = nullptr;
};

ErrorDescription DescribeError(std::exception_ptr error);

// The message at the end of a chain of wrapped errors ("" for none).
std::string InnermostMessage(std::exception_ptr inner);

// Appends "." when the text is not empty and its last character's code is
// above that of "." (a letter, a digit, ":" or "?" gets one; ".", "!", ")"
// and " " do not). UTF-8 text: every byte of a non-ASCII character is above
// ".", as is its code point, so the last byte decides.
std::string WithFullStop(std::string text);

// The text of the error box for an error: its message, or the innermost
// wrapped one where that is not empty, with the full stop rule applied.
std::string ErrorBoxText(const ErrorDescription& error);

// "Exception %s in module %s at %p.\r\n%s%s\r\n" with the class name, the
// module file name, the offset in as many upper-case hex digits as a pointer
// has, the message, and "." unless the message is empty or ends in ".".
std::string LastChanceText(const std::string& className, const std::string& moduleFileName,
                           std::uintptr_t offset, const std::string& message);

// The report text for an error, its code located by the current platform.
std::string LastChanceText(const ErrorDescription& error);

// Task-modal "Application Error" box without owner. Never throws.
void ShowLastChanceReport(std::exception_ptr error);

}  // namespace velmora
