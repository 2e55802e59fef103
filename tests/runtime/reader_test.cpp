#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "runtime/component.h"
#include "runtime/reader.h"

using namespace sauno;

namespace {

// A small tree of components: items hold a value, a reference and a collection, and log Loaded.
std::vector<std::string> events;

struct Entry : TPersistent {
    std::string label;
};

class Box : public TComponent {
public:
    using TComponent::TComponent;
    int64_t Number = 0;
    double Real = 0;
    std::string Text;
    bool Flag = false;
    std::vector<uint8_t> Bytes;
    std::vector<std::string> Options;
    Box* Peer = nullptr;
    TComponent* Parent = nullptr;
    std::vector<std::unique_ptr<Entry>> Entries;
    void SetParentComponent(TComponent* parent) override { Parent = parent; }
    void Loaded() override
    {
        TComponent::Loaded();
        events.push_back("loaded " + Name() + (Peer ? " peer " + Peer->Name() : ""));
    }
};

void RegisterBox()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();
    r.Register("TComponent", "", nullptr);
    ClassInfo& box = r.Register("TBox", "TComponent", [](TComponent* o) { return new Box(o); });
    Integer<Box>(box, "Number", [](Box& b, int64_t v) { b.Number = v; });
    Float<Box>(box, "Real", [](Box& b, double v) { b.Real = v; });
    String<Box>(box, "Text", [](Box& b, const std::string& v) {
        EXPECT_TRUE(b.Loading());
        b.Text = v;
    });
    Bool<Box>(box, "Flag", [](Box& b, bool v) { b.Flag = v; });
    Binary<Box>(box, "Inner.Bytes", 0, [](Box& b, const std::vector<uint8_t>& v) { b.Bytes = v; });
    Property<Box>(box, "Options", [](Box& b, const PropValue& v, TReader&) { b.Options = v.items; });
    Reference<Box, Box>(box, "Peer", [](Box& b, Box* p) { b.Peer = p; });
    Property<Box>(box, "Entries", [](Box& b, const PropValue& v, TReader& reader) {
        for (const auto& item : v.AsCollection("Entries")) {
            auto e = std::make_unique<Entry>();
            reader.ApplyProperties("TEntry", item, *e);
            b.Entries.push_back(std::move(e));
        }
    });
    ClassInfo& entry = r.Register("TEntry", "", nullptr);
    String<Entry>(entry, "Label", [](Entry& e, const std::string& v) { e.label = v; });
    r.Register("TRoot", "TBox", nullptr);
}

std::unique_ptr<Box> Read(const std::string& text)
{
    RegisterBox();
    events.clear();
    auto root = std::make_unique<Box>(nullptr);
    TReader reader(*root);
    reader.ReadRoot(ParseDescription(text));
    return root;
}

std::string ErrorOf(const std::string& text)
{
    try {
        Read(text);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(Reader, CreatesOwnedComponentsWithTheirValuesAndResolvesForwardReferences)
{
    auto root = Read(R"(
        TRoot Root {
          Number = -12
          TBox first {
            Peer = second       // a component read later
            Real = 2.5e1
            Text = "tab\there \"quoted\" \x41"
            Flag = true
            Inner.Bytes = hex"3333CB40 0000 8040"
            Options = [a, b]
            Entries = ( { Label = "x" } { Label = "y" } )
            TBox nested { Number = 3 }
          }
          TBox second { Peer = Root }
        })");
    EXPECT_EQ(root->Number, -12);
    ASSERT_EQ(root->ComponentCount(), 3);
    auto* first = dynamic_cast<Box*>(root->FindComponent("first"));
    auto* nested = dynamic_cast<Box*>(root->FindComponent("NESTED"));  // names match without case
    auto* second = dynamic_cast<Box*>(root->FindComponent("second"));
    ASSERT_TRUE(first && nested && second);
    EXPECT_EQ(first->Owner(), root.get());
    EXPECT_EQ(nested->Owner(), root.get());
    EXPECT_EQ(nested->Parent, first);
    EXPECT_EQ(first->Parent, root.get());
    EXPECT_EQ(first->Peer, second);
    EXPECT_EQ(second->Peer, root.get());
    EXPECT_DOUBLE_EQ(first->Real, 25.0);
    EXPECT_EQ(first->Text, "tab\there \"quoted\" A");
    EXPECT_TRUE(first->Flag);
    EXPECT_EQ(first->Bytes, (std::vector<uint8_t>{0x33, 0x33, 0xCB, 0x40, 0x00, 0x00, 0x80, 0x40}));
    EXPECT_EQ(first->Options, (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(first->Entries.size(), 2u);
    EXPECT_EQ(first->Entries[1]->label, "y");
    // Loaded runs once everything is read, root first, then in creation order.
    EXPECT_EQ(events, (std::vector<std::string>{"loaded Root", "loaded first peer second", "loaded nested",
                                                "loaded second peer Root"}));
    EXPECT_FALSE(first->Loading());
}

TEST(Reader, ReportsMistakesWithTheirLine)
{
    EXPECT_NE(ErrorOf("TRoot R {\n TNoSuch x { }\n}").find("line 2: class TNoSuch not found"), std::string::npos);
    EXPECT_NE(ErrorOf("TRoot R {\n\n Colour = 1\n}").find("line 3: TRoot has no property Colour"),
              std::string::npos);
    EXPECT_NE(ErrorOf("TRoot R { Peer = nobody }").find("unknown component nobody"), std::string::npos);
    EXPECT_NE(ErrorOf("TRoot R { Number = \"x\" }").find("Invalid property value for Number"), std::string::npos);
    EXPECT_NE(ErrorOf("TRoot R { TBox a { } TBox a { } }").find("already exists"), std::string::npos);
    for (const char* broken :
         {"", "TRoot", "TRoot R {", "TRoot R { Text = \"open }", "TRoot R { Inner.Bytes = hex\"ABC\" }",
          "TRoot R { Inner.Bytes = hex\"ZZ\" }", "TRoot R { Number = 12abc }", "TRoot R { } trailing",
          "TRoot R { Text = \"\\q\" }", "TRoot R { Entries = ( { Label } ) }", "TRoot R { Options = [a b] }"})
        EXPECT_NE(ErrorOf(broken).find("Scene description error at line"), std::string::npos) << broken;
}

TEST(Reader, BinaryDataReadsExactlyHoweverItIsLaidOut)
{
    // A picture's worth of bytes, laid out as descriptions are: lines of hex in groups, both
    // letter cases, and a nibble split by a blank.
    std::vector<uint8_t> bytes(100'003);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7919 % 251 + (i % 5));
    std::string hex;
    const char* digits[] = {"0123456789ABCDEF", "0123456789abcdef"};
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char* d = digits[i / 1000 % 2];
        hex += d[bytes[i] >> 4];
        if (i == 500) hex += ' ';
        hex += d[bytes[i] & 15];
        if (i % 32 == 31) hex += "\n      ";
        else if (i % 4 == 3) hex += ' ';
    }
    const int hexLines = static_cast<int>(std::count(hex.begin(), hex.end(), '\n'));
    auto root = Read("TRoot Root {\n  TBox b {\n    Inner.Bytes = hex\"" + hex + "\"\n    Number = 4\n  }\n}");
    auto* box = dynamic_cast<Box*>(root->FindComponent("b"));
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Bytes, bytes);
    EXPECT_EQ(box->Number, 4);

    // Lines are still counted through the data: a mistake after it names its own line.
    const int after = 4 + hexLines;
    EXPECT_NE(ErrorOf("TRoot R {\n TBox b {\n  Inner.Bytes = hex\"" + hex + "\"\n  Colour = 1\n }\n}")
                  .find("line " + std::to_string(after) + ": TBox has no property Colour"),
              std::string::npos);
    // A bad digit deep in the data is reported on its line; so are an odd digit and a missing end.
    std::string bad = hex;
    bad[bad.size() / 2] = 'G';
    const int badLine = 3 + static_cast<int>(std::count(hex.begin(), hex.begin() + std::ptrdiff_t(hex.size() / 2), '\n'));
    EXPECT_NE(ErrorOf("TRoot R {\n TBox b {\n  Inner.Bytes = hex\"" + bad + "\"\n }\n}")
                  .find("line " + std::to_string(badLine) + ": bad hex digit"),
              std::string::npos);
    EXPECT_NE(ErrorOf("TRoot R { Inner.Bytes = hex\"AB C\" }").find("odd number of hex digits"), std::string::npos);
    EXPECT_NE(ErrorOf("TRoot R { Inner.Bytes = hex\"AB C\n}").find("unterminated hex data"), std::string::npos);
}
