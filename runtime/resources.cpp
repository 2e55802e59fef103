#include "runtime/resources.h"

#include <map>
#include <string>

#include "platform/exception.h"

namespace sauno {

namespace {
std::map<std::string, std::span<const std::byte>, std::less<>>& Table()
{
    static std::map<std::string, std::span<const std::byte>, std::less<>> table;
    return table;
}
}  // namespace

void RegisterResource(std::string_view name, std::span<const std::byte> bytes) { Table()[std::string(name)] = bytes; }

std::span<const std::byte> FindResource(std::string_view name)
{
    auto it = Table().find(name);
    if (it == Table().end()) throw Exception("Resource " + std::string(name) + " not found");
    return it->second;
}

}  // namespace sauno
