#pragma once
// Embedded resources: byte blocks linked into the executable, found by name.
#include <cstddef>
#include <span>
#include <string_view>

namespace sauno {

// Makes `bytes` findable under `name`; the bytes must live as long as the process.
void RegisterResource(std::string_view name, std::span<const std::byte> bytes);
// The resource's bytes; raises an Exception naming it when there is none.
std::span<const std::byte> FindResource(std::string_view name);

}  // namespace sauno
