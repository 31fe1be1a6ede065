#include "ErrorReport.h"

#include <cinttypes>
#include <cstdio>
#include <typeinfo>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#include <cstdlib>
#define VELMORA_HAVE_CXXABI 1
#endif

#include "platform/Platform.h"
#include "base/Exceptions.h"

namespace velmora {

namespace {

std::string TypeName(const std::type_info* type) {
    if (!type) return "Exception";
#ifdef VELMORA_HAVE_CXXABI
    int status = 0;
    char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    if (status == 0 && demangled) {
        std::string name = demangled;
        std::free(demangled);
        return name;
    }
#endif
    return type->name();
}

}  // namespace

std::string InnermostMessage(std::exception_ptr inner) {
    std::string message;
    // A chain that loops back on itself would never end; no real chain is this deep.
    for (int depth = 0; inner && depth < 64; ++depth) {
        try {
            std::rethrow_exception(inner);
        } catch (const Exception& e) {
            message = e.Message();
            inner = e.Inner();
        } catch (const std::exception& e) {
            message = e.what();
            inner = nullptr;
        } catch (...) {
            inner = nullptr;
        }
    }
    return message;
}


ErrorDescription DescribeError(std::exception_ptr error) {
    ErrorDescription d;
    if (!error) return d;
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        d.isToolkitError = true;
        d.isAbort = dynamic_cast<const EAbort*>(&e) != nullptr;
        d.className = e.ClassName();
        d.message = e.Message();
        d.address = e.Address();
        d.innermostMessage = InnermostMessage(e.Inner());
    } catch (const std::exception& e) {
        d.className = TypeName(&typeid(e));
        d.message = e.what();
    } catch (...) {
#ifdef VELMORA_HAVE_CXXABI
        d.className = TypeName(abi::__cxa_current_exception_type());
#else
        d.className = "Exception";
#endif
    }
    return d;
}

std::string WithFullStop(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
    return text;
}

std::string ErrorBoxText(const ErrorDescription& error) {
    return WithFullStop(error.innermostMessage.empty() ? error.message : error.innermostMessage);
}

std::string LastChanceText(const std::string& className, const std::string& moduleFileName,
                           std::uintptr_t offset, const std::string& message) {
    char address[2 * sizeof(std::uintptr_t) + 1];
    std::snprintf(address, sizeof address, "%0*" PRIXPTR, static_cast<int>(2 * sizeof(std::uintptr_t)), offset);
    std::string stop = message.empty() || message.back() == '.' ? "" : ".";
    // The pattern is fixed; the values are pasted in, never interpreted.
    std::string text = "Exception " + className + " in module " + moduleFileName + " at " + address + ".\r\n";
    text += message + stop + "\r\n";
    return text;
}

std::string LastChanceText(const ErrorDescription& error) {
    platform::CodeLocation where = platform::CurrentPlatform().LocateCode(error.address);
    return LastChanceText(error.className, where.moduleFileName, where.offset, error.message);
}

void ShowLastChanceReport(std::exception_ptr error) {
    try {
        platform::MessageBoxRequest box;
        box.owner = 0;
        box.caption = "Application Error";
        box.text = LastChanceText(DescribeError(error));
        box.icon = platform::MessageBoxIcon::Error;
        box.buttons = platform::MessageBoxButtons::Ok;
        box.taskModal = true;
        platform::CurrentPlatform().ShowMessageBox(box);
    } catch (...) {
        // Nothing is left to report to; the exit code still tells.
    }
}

}  // namespace velmora
