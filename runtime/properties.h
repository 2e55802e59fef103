#pragma once
// Published properties: what the scene-description reader can set on a component by name.
// Each class registers its properties once, under its class name, with the name of its base
// class; a lookup walks from the class to its bases.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/export.h"

namespace sauno {

class TComponent;
class TPersistent;
struct DescribedProperty;

// One value as written in a description.
struct SAUNO_RUNTIME_EXPORT PropValue {
    enum class Kind { Integer, Float, String, Ident, Binary, Set, Collection };
    Kind kind = Kind::Integer;
    int64_t integer = 0;
    double real = 0;
    std::string text;                 // String and Ident
    std::vector<uint8_t> bytes;       // Binary
    std::vector<std::string> items;   // Set
    // Collection: one property list per item, in order.
    std::vector<std::vector<DescribedProperty>> collection;
    int line = 0;                     // where it was written, for error messages

    // Typed readers; each raises "Invalid property value" naming the property when the kind is wrong.
    int64_t AsInteger(std::string_view property) const;
    double AsFloat(std::string_view property) const;
    bool AsBoolean(std::string_view property) const;
    const std::string& AsString(std::string_view property) const;
    const std::string& AsIdent(std::string_view property) const;
    const std::vector<uint8_t>& AsBinary(std::string_view property, size_t exactSize) const;
    const std::vector<std::vector<DescribedProperty>>& AsCollection(std::string_view property) const;
};

struct SAUNO_RUNTIME_EXPORT DescribedProperty {
    std::string path;
    PropValue value;
};

class TReader;
// Applies one value to a component; references to other components are resolved through the reader.
using PropertySetter = std::function<void(TPersistent&, const PropValue&, TReader&)>;
using ComponentFactory = std::function<TComponent*(TComponent* owner)>;

struct SAUNO_RUNTIME_EXPORT ClassInfo {
    std::string name;
    std::string baseName;  // empty for the root of the hierarchy
    ComponentFactory create;  // empty for abstract classes
    std::map<std::string, PropertySetter, std::less<>> properties;
};

class SAUNO_RUNTIME_EXPORT ClassRegistry {
public:
    static ClassRegistry& Instance();
    // Registering a name again replaces the earlier entry (the latest registration wins).
    ClassInfo& Register(std::string name, std::string baseName, ComponentFactory create);
    const ClassInfo* Find(std::string_view name) const;
    // Finds `property` on the class or one of its bases; null if none declares it.
    const PropertySetter* FindProperty(std::string_view className, std::string_view property) const;

private:
    std::map<std::string, std::unique_ptr<ClassInfo>, std::less<>> classes_;
};

}  // namespace sauno
