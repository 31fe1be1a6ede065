// The toolkit's error hierarchy. Every error the toolkit raises derives from
// Exception; the event loop and the last-chance report are the only places
// that catch everything.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace velmora {

class Exception : public std::exception {
public:
    // The address of the code that raised the error is taken from the caller,
    // so the last-chance report can name the failing module offset.
    [[gnu::noinline]] explicit Exception(std::string message);
    Exception(std::string message, const void* address);

    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    const void* Address() const noexcept { return address_; }
    const char* what() const noexcept override { return message_.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

    // The error this one wraps, if any (set by code that re-raises with context).
    std::exception_ptr Inner() const noexcept { return inner_; }
    void SetInner(std::exception_ptr inner) { inner_ = std::move(inner); }

private:
    std::string message_;
    const void* address_ = nullptr;
    std::exception_ptr inner_;
};

#define VELMORA_DECLARE_EXCEPTION(Name, Base)                                   \
    class Name : public Base {                                                  \
    public:                                                                     \
        [[gnu::noinline]] explicit Name(std::string message)                    \
            : Base(std::move(message), __builtin_return_address(0)) {}          \
        Name(std::string message, const void* address)                          \
            : Base(std::move(message), address) {}                              \
        const char* ClassName() const noexcept override { return #Name; }       \
    }

// Silent abort: dropped by the error policy without a word.
VELMORA_DECLARE_EXCEPTION(EAbort, Exception);
// Errors of reading and writing form descriptions.
VELMORA_DECLARE_EXCEPTION(EFilerError, Exception);
VELMORA_DECLARE_EXCEPTION(EReadError, EFilerError);
VELMORA_DECLARE_EXCEPTION(EClassNotFound, EFilerError);
VELMORA_DECLARE_EXCEPTION(EPropertyError, Exception);
VELMORA_DECLARE_EXCEPTION(EComponentError, Exception);
VELMORA_DECLARE_EXCEPTION(EResourceNotFound, Exception);
// File and device errors (the start-up copy).
VELMORA_DECLARE_EXCEPTION(EInOutError, Exception);
VELMORA_DECLARE_EXCEPTION(EFileNotFound, Exception);
VELMORA_DECLARE_EXCEPTION(EInvalidOperation, Exception);
VELMORA_DECLARE_EXCEPTION(EOSError, Exception);

// A failure result of the embedded engine, with the engine's own code.
class EOleError : public Exception {
public:
    [[gnu::noinline]] EOleError(std::string message, std::int32_t code)
        : Exception(std::move(message), __builtin_return_address(0)), code_(code) {}
    const char* ClassName() const noexcept override { return "EOleError"; }
    std::int32_t ErrorCode() const noexcept { return code_; }

private:
    std::int32_t code_;
};

// Replaces each "%s" of a fixed message in turn (the messages are fixed
// texts; arguments are never interpreted as formats).
std::string FormatMessage(const std::string& pattern, std::initializer_list<std::string> args);

}  // namespace velmora
