#include "Exceptions.h"

namespace velmora {

Exception::Exception(std::string message)
    : message_(std::move(message)), address_(__builtin_return_address(0)) {}

Exception::Exception(std::string message, const void* address)
    : message_(std::move(message)), address_(address) {}

std::string FormatMessage(const std::string& pattern, std::initializer_list<std::string> args) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace velmora
