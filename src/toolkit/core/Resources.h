// Named data resources linked into the program (form descriptions). Names
// match without regard to letter case.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velmora {

void RegisterResource(std::string_view name, std::span<const std::uint8_t> data);
// Empty optional-like: data() == nullptr when absent.
std::span<const std::uint8_t> FindResource(std::string_view name, bool* found = nullptr);
void UnregisterResource(std::string_view name);

}  // namespace velmora
