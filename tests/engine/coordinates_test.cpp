#include "engine/coordinates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/updatable.h"
#include "platform/exception.h"

using namespace sauno;

namespace {

// Records every notice that reaches it and passes it on as the base does.
class Recorder : public TCoordinatesUpdateAbleComponent {
public:
    Recorder(TComponent* owner, std::vector<std::string>& log, bool takeCoordinates = false)
        : TCoordinatesUpdateAbleComponent(owner), log_(log), takeCoordinates_(takeCoordinates) {}
    void ReportChange(TPersistent* sender) override
    {
        log_.push_back("report");
        TCoordinatesUpdateAbleComponent::ReportChange(sender);
    }
    void CoordinatesChanged(TCoordinates* sender) override
    {
        log_.push_back("coordinates");
        if (!takeCoordinates_) TCoordinatesUpdateAbleComponent::CoordinatesChanged(sender);
    }
    void StructureChanged() override { log_.push_back("structure"); }

private:
    std::vector<std::string>& log_;
    bool takeCoordinates_;
};

const std::vector<uint8_t> kStreamed = {0x33, 0x33, 0xCB, 0x40, 0x00, 0x00, 0x80, 0x40,
                                        0x00, 0x00, 0x80, 0x40, 0x00, 0x00, 0x80, 0x3F};

}  // namespace

TEST(Coordinates, StreamedForm)
{
    TCoordinates position(nullptr, TCoordinatesStyle::csPoint);
    position.ReadStreamed(kStreamed);
    EXPECT_EQ(position.AsVector(), (TVector4{6.35f, 4, 4, 1}));
    auto written = position.WriteStreamed();
    EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), kStreamed);

    std::vector<uint8_t> shortData(kStreamed.begin(), kStreamed.end() - 4);
    EXPECT_THROW(position.ReadStreamed(shortData), Exception);
    TColor color(nullptr);
    EXPECT_THROW(color.ReadStreamed({}), Exception);
    EXPECT_EQ(position.AsVector(), (TVector4{6.35f, 4, 4, 1}));
    EXPECT_EQ(color.Color(), ColorBlack);
}

TEST(Coordinates, ReadingSendsNoNotice)
{
    std::vector<std::string> log;
    TComponent form(nullptr);
    auto* node = new Recorder(&form, log);
    TCoordinates position(node, TCoordinatesStyle::csPoint);
    TColor color(node);
    position.ReadStreamed(kStreamed);
    color.ReadStreamed(kStreamed);
    EXPECT_TRUE(log.empty());
}

TEST(Coordinates, StylesAndMisuse)
{
    TCoordinates direction(nullptr, TCoordinatesStyle::csVector, ZAxisVector);
    EXPECT_THROW(direction.SetPoint(1, 2, 3), EAssertionFailed);
    EXPECT_EQ(direction.AsVector(), ZAxisVector);
    direction.SetAsVector({1, 2, 3, 1});
    EXPECT_EQ(direction.W(), 0.0f);

    TCoordinates position(nullptr, TCoordinatesStyle::csPoint, OriginPoint);
    EXPECT_THROW(position.SetVector(1, 2, 3), EAssertionFailed);
    EXPECT_THROW(position.SetVector(1, 2, 3, 0), EAssertionFailed);
    EXPECT_EQ(position.AsVector(), OriginPoint);
    position.SetAsVector({1, 2, 3, 0});
    EXPECT_EQ(position.AsVector(), (TVector4{1, 2, 3, 1}));
    EXPECT_THROW(position.SetByIndex(4, 1), EAssertionFailed);

    TCoordinates free(nullptr);
    free.SetPoint(1, 2, 3);
    free.SetVector(4, 5, 6, 7);
    free.SetAsVector({1, 1, 1, 9});
    EXPECT_EQ(free.W(), 9.0f);
}

TEST(Coordinates, NoticeRouting)
{
    std::vector<std::string> log;
    int reported = 0;
    TComponent form(nullptr);
    auto* top = new Recorder(&form, log);
    auto* node = new Recorder(top, log, /*takeCoordinates=*/true);

    // A coordinates holder of a coordinates-aware owner goes to CoordinatesChanged only.
    TCoordinates position(node, TCoordinatesStyle::csPoint);
    position.OnChangeReported = [&](TUpdateAbleObject*) { ++reported; };
    position.SetX(0);  // the same value still notifies
    EXPECT_EQ(log, (std::vector<std::string>{"coordinates"}));
    EXPECT_EQ(reported, 0);

    // A colour of a scene-object-like owner: structure first, then the notice up the chain.
    log.clear();
    TColor color(node, ColorWhite, [&](TUpdateAbleObject*) { ++reported; });
    color.SetByIndex(0, 1);  // unchanged: nothing
    EXPECT_TRUE(log.empty());
    color.SetRed(0.5f);
    EXPECT_EQ(log, (std::vector<std::string>{"structure", "report", "report"}));
    EXPECT_EQ(reported, 1);

    // Holder inside holder: the outer one passes it to its component owner.
    log.clear();
    TUpdateAbleObject faces(top);
    TColor ambient(&faces);
    ambient.SetColor(ColorWhite);
    EXPECT_EQ(log, (std::vector<std::string>{"report"}));

    // Without an owner nothing fires, not even the event.
    TCoordinates orphan(nullptr);
    orphan.OnChangeReported = [&](TUpdateAbleObject*) { ++reported; };
    orphan.SetVector(1, 2, 3);
    orphan.Normalize();
    EXPECT_EQ(reported, 1);
}

TEST(Coordinates, UpdateBracketsDropNotices)
{
    std::vector<std::string> log;
    TComponent form(nullptr);
    auto* node = new Recorder(&form, log);
    int reported = 0;
    TColor color(node, ColorBlack, [&](TUpdateAbleObject*) { ++reported; });
    color.BeginUpdate();
    color.BeginUpdate();
    // The owner's display list is invalidated at every change; only the notice is held back.
    color.SetColor(ColorWhite);
    color.SetBlue(0);
    color.EndUpdate();
    EXPECT_EQ(log, (std::vector<std::string>{"structure", "structure"}));
    EXPECT_EQ(reported, 0);
    log.clear();
    color.EndUpdate();  // the outermost close sends one notice
    EXPECT_EQ(log, (std::vector<std::string>{"structure", "report"}));
    EXPECT_EQ(reported, 1);
    EXPECT_THROW(color.EndUpdate(), EAssertionFailed);

    // Assigning coordinates is silent; assigning a colour is not.
    log.clear();
    TCoordinates a(node), b(nullptr, TCoordinatesStyle::csFree, {1, 2, 3, 4});
    a.Assign(b);
    EXPECT_EQ(a.AsVector(), b.AsVector());
    EXPECT_TRUE(log.empty());
    TColor other(nullptr, {0.1f, 0.2f, 0.3f, 0.4f});
    color.Assign(other);
    EXPECT_EQ(color.Color(), other.Color());
    EXPECT_EQ(log.size(), 2u);
}
