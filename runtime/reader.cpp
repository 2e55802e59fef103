#include "runtime/reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "runtime/component.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/startup_report.h"

namespace sauno {

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    DescribedObject ParseAll()
    {
        SkipBlank();
        DescribedObject root = ParseObject();
        SkipBlank();
        if (pos_ < text_.size()) Fail("text after the end of the description");
        return root;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw Exception("Scene description error at line " + std::to_string(line_) + ": " + what);
    }

    void SkipBlank()
    {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
    }

    static bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

    std::string Identifier(const char* what)
    {
        SkipBlank();
        size_t start = pos_;
        while (pos_ < text_.size() && (IdentChar(text_[pos_]) || (pos_ > start && text_[pos_] == '.'))) ++pos_;
        if (start == pos_ || std::isdigit(static_cast<unsigned char>(text_[start]))) Fail(std::string("expected ") + what);
        return std::string(text_.substr(start, pos_ - start));
    }

    bool Peek(char c)
    {
        SkipBlank();
        return pos_ < text_.size() && text_[pos_] == c;
    }

    void Expect(char c)
    {
        if (!Peek(c)) Fail(std::string("expected '") + c + "'");
        ++pos_;
    }

    DescribedObject ParseObject()
    {
        DescribedObject object;
        object.line = line_;
        object.className = Identifier("a class name");
        object.name = Identifier("a component name");
        Expect('{');
        while (!Peek('}')) {
            if (pos_ >= text_.size()) Fail("missing '}'");
            size_t save = pos_;
            int saveLine = line_;
            std::string first = Identifier("a property or class name");
            if (Peek('=')) {
                ++pos_;
                DescribedProperty property;
                property.path = std::move(first);
                property.value = ParseValue();
                object.properties.push_back(std::move(property));
            } else {
                pos_ = save;
                line_ = saveLine;
                object.children.push_back(ParseObject());
            }
        }
        ++pos_;
        return object;
    }

    PropValue ParseValue()
    {
        SkipBlank();
        PropValue value;
        value.line = line_;
        if (pos_ >= text_.size()) Fail("expected a value");
        char c = text_[pos_];
        if (c == '"') {
            value.kind = PropValue::Kind::String;
            value.text = QuotedString();
        } else if (c == '[') {
            ++pos_;
            value.kind = PropValue::Kind::Set;
            while (!Peek(']')) {
                value.items.push_back(Identifier("a set element"));
                if (Peek(',')) ++pos_;
                else if (!Peek(']')) Fail("expected ',' or ']'");
            }
            ++pos_;
        } else if (c == '(') {
            ++pos_;
            value.kind = PropValue::Kind::Collection;
            while (!Peek(')')) {
                Expect('{');
                std::vector<DescribedProperty> item;
                while (!Peek('}')) {
                    if (pos_ >= text_.size()) Fail("missing '}'");
                    DescribedProperty property;
                    property.path = Identifier("a property name");
                    Expect('=');
                    property.value = ParseValue();
                    item.push_back(std::move(property));
                }
                ++pos_;
                value.collection.push_back(std::move(item));
            }
            ++pos_;
        } else if (text_.substr(pos_, 4) == "hex\"") {
            pos_ += 3;
            value.kind = PropValue::Kind::Binary;
            value.bytes = HexBytes();
        } else if (c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) {
            Number(value);
        } else {
            value.kind = PropValue::Kind::Ident;
            value.text = Identifier("a value");
        }
        return value;
    }

    void Number(PropValue& value)
    {
        size_t start = pos_;
        if (text_[pos_] == '-' || text_[pos_] == '+') ++pos_;
        bool isFloat = false;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (std::isdigit(static_cast<unsigned char>(c))) {
                ++pos_;
            } else if (c == '.' || c == 'e' || c == 'E') {
                isFloat = true;
                ++pos_;
                if ((c == 'e' || c == 'E') && pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+')) ++pos_;
            } else {
                break;
            }
        }
        std::string token(text_.substr(start, pos_ - start));
        if (pos_ < text_.size() && IdentChar(text_[pos_])) Fail("malformed number " + token);
        if (isFloat) {
            char* end = nullptr;
            value.kind = PropValue::Kind::Float;
            value.real = std::strtod(token.c_str(), &end);
            if (end != token.c_str() + token.size()) Fail("malformed number " + token);
        } else {
            value.kind = PropValue::Kind::Integer;
            const char* first = token.c_str() + (token[0] == '+' ? 1 : 0);
            auto [ptr, ec] = std::from_chars(first, token.c_str() + token.size(), value.integer);
            if (ec != std::errc() || ptr != token.c_str() + token.size()) Fail("malformed number " + token);
        }
    }

    static int HexDigit(char c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // Hex data is most of a description by size (the embedded pictures and sounds): it is
    // decoded in one pass over the text into a buffer sized once, through a table.
    std::vector<uint8_t> HexBytes()
    {
        static const std::array<int8_t, 256> digits = [] {
            std::array<int8_t, 256> t;
            t.fill(-1);
            for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = int8_t(c - '0');
            for (int c = 'a'; c <= 'f'; ++c) t[size_t(c)] = int8_t(c - 'a' + 10);
            for (int c = 'A'; c <= 'F'; ++c) t[size_t(c)] = int8_t(c - 'A' + 10);
            for (char c : {' ', '\n', '\r', '\t'}) t[size_t(uint8_t(c))] = -2;
            return t;
        }();
        ++pos_;  // opening quote
        const size_t close = text_.find('"', pos_);
        if (close == std::string_view::npos) {
            line_ += static_cast<int>(std::count(text_.begin() + static_cast<std::ptrdiff_t>(pos_), text_.end(), '\n'));
            Fail("unterminated hex data");
        }
        std::vector<uint8_t> bytes((close - pos_) / 2);
        const auto* p = reinterpret_cast<const uint8_t*>(text_.data());
        size_t at = pos_, count = 0;
        while (at < close) {
            const int high = digits[p[at]];
            if (high >= 0 && at + 1 < close && digits[p[at + 1]] >= 0) {
                bytes[count++] = static_cast<uint8_t>(high << 4 | digits[p[at + 1]]);
                at += 2;
            } else if (high == -2) {
                if (p[at] == '\n') ++line_;
                ++at;
            } else {
                // A digit split by a blank is as good as two together.
                int low = -1;
                size_t next = at + 1;
                if (high >= 0) {
                    while (next < close && digits[p[next]] == -2) {
                        if (p[next] == '\n') ++line_;
                        ++next;
                    }
                    low = next < close ? digits[p[next]] : -1;
                }
                if (high < 0) Fail("bad hex digit");
                if (next >= close) Fail("odd number of hex digits");
                if (low < 0) Fail("bad hex digit");
                bytes[count++] = static_cast<uint8_t>(high << 4 | low);
                at = next + 1;
            }
        }
        pos_ = close + 1;
        bytes.resize(count);
        return bytes;
    }

    std::string QuotedString()
    {
        ++pos_;
        std::string out;
        while (true) {
            if (pos_ >= text_.size() || text_[pos_] == '\n') Fail("unterminated string");
            char c = text_[pos_++];
            if (c == '"') break;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) Fail("unterminated string");
            char e = text_[pos_++];
            switch (e) {
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case '\\': out += '\\'; break;
                case '"': out += '"'; break;
                case 'x': {
                    int h = pos_ + 1 < text_.size() ? HexDigit(text_[pos_]) : -1;
                    int l = h >= 0 ? HexDigit(text_[pos_ + 1]) : -1;
                    if (l < 0) Fail("bad \\x escape");
                    out += static_cast<char>(h * 16 + l);
                    pos_ += 2;
                    break;
                }
                default: Fail(std::string("unknown escape \\") + e);
            }
        }
        return out;
    }

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

DescribedObject ParseDescription(std::string_view text) { return Parser(text).ParseAll(); }

void TReader::ResolveLater(std::string name, int line, std::function<void(TComponent*)> assign)
{
    fixups_.push_back({std::move(name), line, std::move(assign)});
}

void TReader::ReadRoot(const DescribedObject& description)
{
    {
        platform::StartupPhase phase("description: components");
        root_.BeginLoading();
        root_.SetName(description.name);
        ApplyProperties(description.className, description.properties, root_);
        ReadChildren(description, root_);
    }

    for (Fixup& fixup : fixups_) {
        TComponent* target = fixup.name == root_.Name() ? &root_ : root_.FindComponent(fixup.name);
        if (!target)
            throw Exception("Scene description error at line " + std::to_string(fixup.line) + ": unknown component " +
                            fixup.name);
        fixup.assign(target);
    }
    fixups_.clear();

    root_.Loaded();
    // A component freed while another one loads leaves the list through free notification
    // in real use; the game's components all live until the form goes.
    for (auto [component, className] : created_) {
        const int64_t start = platform::StartupReportWanted() ? platform::PerformanceCounter() : 0;
        component->Loaded();
        if (start) platform::AddStartupPhase("loaded: " + std::string(className),
                                             double(platform::PerformanceCounter() - start) / 1e6);
    }
    created_.clear();
}

void TReader::ReadChildren(const DescribedObject& node, TComponent& parent)
{
    for (const DescribedObject& child : node.children) {
        const ClassInfo* info = ClassRegistry::Instance().Find(child.className);
        if (!info || !info->create)
            throw Exception("Scene description error at line " + std::to_string(child.line) + ": class " +
                            child.className + " not found");
        if (root_.FindComponent(child.name))
            throw Exception("Scene description error at line " + std::to_string(child.line) +
                            ": a component named " + child.name + " already exists");
        TComponent* component = info->create(&root_);
        component->SetName(child.name);
        component->BeginLoading();
        created_.emplace_back(component, child.className);
        component->SetParentComponent(&parent);
        ApplyProperties(child.className, child.properties, *component);
        ReadChildren(child, *component);
    }
}

void TReader::ApplyProperties(std::string_view className, const std::vector<DescribedProperty>& properties,
                              TPersistent& target)
{
    for (const DescribedProperty& property : properties) {
        const PropertySetter* setter = ClassRegistry::Instance().FindProperty(className, property.path);
        if (!setter)
            throw Exception("Scene description error at line " + std::to_string(property.value.line) + ": " +
                            std::string(className) + " has no property " + property.path);
        (*setter)(target, property.value, *this);
    }
}

}  // namespace sauno
