#include "Resources.h"

#include <string>
#include <vector>

#include "ClassInfo.h"

namespace velmora {

namespace {
struct Entry {
    std::string name;
    std::span<const std::uint8_t> data;
};
std::vector<Entry>& Table() {
    static std::vector<Entry> table;
    return table;
}
}  // namespace

void RegisterResource(std::string_view name, std::span<const std::uint8_t> data) {
    for (auto& e : Table())
        if (SameText(e.name, name)) {
            e.data = data;
            return;
        }
    Table().push_back({std::string(name), data});
}

std::span<const std::uint8_t> FindResource(std::string_view name, bool* found) {
    for (const auto& e : Table())
        if (SameText(e.name, name)) {
            if (found) *found = true;
            return e.data;
        }
    if (found) *found = false;
    return {};
}

void UnregisterResource(std::string_view name) {
    auto& t = Table();
    for (auto it = t.begin(); it != t.end(); ++it)
        if (SameText(it->name, name)) {
            t.erase(it);
            return;
        }
}

}  // namespace velmora
