#include "FileCopy.h"

#include <atomic>
#include <chrono>

namespace velmora::platform {

namespace fs = std::filesystem;

fs::path TemporaryNameBeside(const fs::path& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    // A leading dot hides the file on most systems; the rest is letters and
    // digits from the clock and a counter, cut or padded to the length of
    // the target's own name.
    const std::size_t length = target.filename().native().size();
    if (length == 0) return target;
    std::uint64_t seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    seed ^= (static_cast<std::uint64_t>(counter++) << 32) ^ (static_cast<std::uint64_t>(attempt) * 0x9E3779B97F4A7C15ull);
    static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    fs::path::string_type name;
    // A short name can come out as the target's own name; the copy would then
    // take the target for its temporary file and remove it afterwards.
    do {
        name.clear();
        if (length > 1) name.push_back('.');
        while (name.size() < length) {
            name.push_back(static_cast<fs::path::value_type>(kDigits[seed % 36]));
            seed = seed / 36 ^ (seed * 0x2545F4914F6CDD1Dull);
        }
        seed = seed * 0x9E3779B97F4A7C15ull + 1;
    } while (name == target.filename().native());
    return target.parent_path() / name;
}

}  // namespace velmora::platform
