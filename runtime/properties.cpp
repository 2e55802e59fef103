#include "runtime/properties.h"

#include <cmath>

#include "platform/exception.h"

namespace sauno {

namespace {
[[noreturn]] void Invalid(std::string_view property, int line)
{
    throw Exception("Invalid property value for " + std::string(property) + " (line " + std::to_string(line) + ")");
}
}  // namespace

int64_t PropValue::AsInteger(std::string_view property) const
{
    if (kind != Kind::Integer) Invalid(property, line);
    return integer;
}

double PropValue::AsFloat(std::string_view property) const
{
    if (kind == Kind::Integer) return static_cast<double>(integer);
    if (kind != Kind::Float) Invalid(property, line);
    return real;
}

bool PropValue::AsBoolean(std::string_view property) const
{
    if (kind == Kind::Ident) {
        if (text == "true" || text == "True") return true;
        if (text == "false" || text == "False") return false;
    }
    Invalid(property, line);
}

const std::string& PropValue::AsString(std::string_view property) const
{
    if (kind != Kind::String) Invalid(property, line);
    return text;
}

const std::string& PropValue::AsIdent(std::string_view property) const
{
    if (kind != Kind::Ident) Invalid(property, line);
    return text;
}

const std::vector<uint8_t>& PropValue::AsBinary(std::string_view property, size_t exactSize) const
{
    if (kind != Kind::Binary || (exactSize != 0 && bytes.size() != exactSize)) Invalid(property, line);
    return bytes;
}

const std::vector<std::vector<DescribedProperty>>& PropValue::AsCollection(std::string_view property) const
{
    if (kind != Kind::Collection) Invalid(property, line);
    return collection;
}

ClassRegistry& ClassRegistry::Instance()
{
    static ClassRegistry registry;
    return registry;
}

ClassInfo& ClassRegistry::Register(std::string name, std::string baseName, ComponentFactory create)
{
    auto info = std::make_unique<ClassInfo>();
    info->name = name;
    info->baseName = std::move(baseName);
    info->create = std::move(create);
    ClassInfo& ref = *info;
    classes_[std::move(name)] = std::move(info);
    return ref;
}

const ClassInfo* ClassRegistry::Find(std::string_view name) const
{
    auto it = classes_.find(name);
    return it == classes_.end() ? nullptr : it->second.get();
}

const PropertySetter* ClassRegistry::FindProperty(std::string_view className, std::string_view property) const
{
    // Bounded walk: a registry with a cycle of base names must not hang the reader.
    const ClassInfo* info = Find(className);
    for (int depth = 0; info && depth < 64; ++depth) {
        auto it = info->properties.find(property);
        if (it != info->properties.end()) return &it->second;
        if (info->baseName.empty()) return nullptr;
        info = Find(info->baseName);
    }
    return nullptr;
}

}  // namespace sauno
