#pragma once
// The scene-description reader. A description is text:
//
//   TForm1 Form1 {                      // class, then name, then a block
//     Caption = "Form1"                 // strings in double quotes, C escapes
//     Left = 193                        // integers (also negative), floats with . or exponent
//     Buffer.FogEnable = true           // identifiers: enumeration values, booleans, references
//     Position.Coordinates = hex"3333CB40 00008040 00008040 0000803F"   // raw bytes
//     Options = [roDoubleBuffer, roRenderToWindow]                      // sets
//     Materials = ( { Name = "a" } { Name = "b" } )                     // collection items
//     TScene Scene1 { ... }             // a component read inside this one
//   }
//
// Reading creates every nested component through the class registry with the root as owner,
// tells it its parent in the description, applies its properties while it is loading, resolves
// references to components by name once everything is read, and then calls Loaded on the root
// and on each component in creation order.
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/export.h"
#include "platform/exception.h"
#include "runtime/component.h"
#include "runtime/properties.h"

namespace sauno {

class TComponent;

struct DescribedObject {
    std::string className;
    std::string name;
    int line = 0;
    std::vector<DescribedProperty> properties;
    std::vector<DescribedObject> children;
};

// Parses a whole description; raises an Exception naming the line on any syntax error.
DescribedObject ParseDescription(std::string_view text);

class TReader {
public:
    explicit TReader(TComponent& root) : root_(root) {}

    // Reads `description` into the existing root component (whose class must be the described one).
    void ReadRoot(const DescribedObject& description);

    TComponent& Root() const { return root_; }
    // A reference property: `assign` is called with the component named `name` once all are read.
    SAUNO_RUNTIME_EXPORT void ResolveLater(std::string name, int line, std::function<void(TComponent*)> assign);

    // Applies properties to an object described under `className`: a component or a collection item.
    SAUNO_RUNTIME_EXPORT void ApplyProperties(std::string_view className, const std::vector<DescribedProperty>& properties,
                         TPersistent& target);

private:
    void ReadChildren(const DescribedObject& node, TComponent& parent);

    struct Fixup {
        std::string name;
        int line;
        std::function<void(TComponent*)> assign;
    };
    TComponent& root_;
    // With the class each was described as, which outlives the reading.
    std::vector<std::pair<TComponent*, std::string_view>> created_;
    std::vector<Fixup> fixups_;
};

}  // namespace sauno

// Helpers for registering published properties of class T.
namespace sauno::describe {

template <class T, class F>
void Property(ClassInfo& info, const std::string& name, F apply)
{
    info.properties[name] = [apply, name](TPersistent& target, const PropValue& value, TReader& reader) {
        apply(static_cast<T&>(target), value, reader);
    };
}

template <class T, class F>
void Bool(ClassInfo& info, const std::string& name, F set)
{
    Property<T>(info, name, [set, name](T& t, const PropValue& v, TReader&) { set(t, v.AsBoolean(name)); });
}

template <class T, class F>
void Integer(ClassInfo& info, const std::string& name, F set)
{
    Property<T>(info, name, [set, name](T& t, const PropValue& v, TReader&) { set(t, v.AsInteger(name)); });
}

template <class T, class F>
void Float(ClassInfo& info, const std::string& name, F set)
{
    Property<T>(info, name, [set, name](T& t, const PropValue& v, TReader&) { set(t, v.AsFloat(name)); });
}

template <class T, class F>
void String(ClassInfo& info, const std::string& name, F set)
{
    Property<T>(info, name, [set, name](T& t, const PropValue& v, TReader&) { set(t, v.AsString(name)); });
}

template <class T, class F>
void Ident(ClassInfo& info, const std::string& name, F set)
{
    Property<T>(info, name, [set, name](T& t, const PropValue& v, TReader&) { set(t, v.AsIdent(name)); });
}

template <class T, class F>
void Binary(ClassInfo& info, const std::string& name, size_t exactSize, F set)
{
    Property<T>(info, name,
                [set, name, exactSize](T& t, const PropValue& v, TReader&) { set(t, v.AsBinary(name, exactSize)); });
}

// A reference to another component of the description, of class R, resolved once all are read.
template <class T, class R, class F>
void Reference(ClassInfo& info, const std::string& name, F set)
{
    Property<T>(info, name, [set, name](T& t, const PropValue& v, TReader& reader) {
        T* target = &t;
        reader.ResolveLater(v.AsIdent(name), v.line, [set, target, name, line = v.line](TComponent* c) {
            R* r = dynamic_cast<R*>(c);
            if (!r)
                throw Exception("Scene description error at line " + std::to_string(line) + ": " + c->Name() +
                                " cannot be the " + name);
            set(*target, r);
        });
    });
}

// The value of an enumeration written by name; `names` are in the enumeration's order.
template <class E>
E Enumeration(const PropValue& value, const std::string& property, std::initializer_list<const char*> names)
{
    const std::string& name = value.AsIdent(property);
    int i = 0;
    for (const char* n : names) {
        if (name == n) return static_cast<E>(i);
        ++i;
    }
    throw Exception("Invalid property value for " + property + " (line " + std::to_string(value.line) + ")");
}

// Values kept in the description for the record that this implementation has no use for.
inline void Ignored(ClassInfo& info, std::initializer_list<const char*> names)
{
    for (const char* n : names) info.properties[n] = [](TPersistent&, const PropValue&, TReader&) {};
}

}  // namespace sauno::describe
