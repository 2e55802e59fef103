#include "engine/cadencer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/asynctimer.h"
#include "runtime/application.h"
#include "runtime/forms.h"
#include "runtime/properties.h"
#include "runtime/timer.h"

using namespace sauno;

namespace {

// A clock that moves only when told.
class ManualClock : public TTimingClock {
public:
    int64_t PerformanceCounter() override { return nowNs; }
    int64_t PerformanceFrequency() override { return 1'000'000'000; }
    uint32_t TickCount() override { return frozenTicks ? 7 : tick++; }
    double LocalDateTimeDays() override { return days; }
    void SleepMilliseconds(int ms) override { slept += ms; }
    void AdvanceSeconds(double s) { nowNs += static_cast<int64_t>(s * 1e9 + 0.5); }

    int64_t nowNs = 5'000'000'000;
    uint32_t tick = 0;
    bool frozenTicks = false;
    double days = 45000.25;
    int slept = 0;
};

struct Step {
    double delta, time;
};

class Recorder : public TCadenceAbleComponent {
public:
    using TCadenceAbleComponent::TCadenceAbleComponent;
    void DoProgress(const ProgressTimes& t) override { steps.push_back({t.deltaTime, t.newTime}); }
    std::vector<Step> steps;
};

// A manual cadencer with a scene, a subscriber and OnProgress, each recording its steps.
struct Rig {
    ManualClock clock;
    TComponent owner{nullptr};
    TScene* scene = new TScene(&owner);
    Recorder* subscriber = new Recorder(&owner);
    TCadencer* cadencer = new TCadencer(&owner, clock);
    std::vector<Step> sceneSteps, eventSteps;

    Rig()
    {
        cadencer->SetMode(TCadencerMode::cmManual);
        cadencer->SetScene(scene);
        cadencer->Subscribe(subscriber);
        scene->OnProgress = [this](TComponent*, double d, double t) { sceneSteps.push_back({d, t}); };
        cadencer->OnProgress = [this](TComponent*, double d, double t) { eventSteps.push_back({d, t}); };
    }
};

constexpr double Eps = 1e-9;

TEST(CadencerTest, DefaultStepsReachSceneSubscribersAndEvent)
{
    Rig r;
    r.clock.AdvanceSeconds(0.016);
    r.cadencer->Progress();
    r.clock.AdvanceSeconds(0.016);
    r.cadencer->Progress();
    for (const auto* steps : {&r.sceneSteps, &r.subscriber->steps, &r.eventSteps}) {
        ASSERT_EQ(steps->size(), 2u);
        EXPECT_NEAR((*steps)[0].delta, 0.016, Eps);
        EXPECT_NEAR((*steps)[1].delta, 0.016, Eps);
        EXPECT_NEAR((*steps)[1].time, 0.032, Eps);
    }

    // A zero step reaches the subscribers and the event once, but not the scene.
    r.cadencer->Progress();
    EXPECT_EQ(r.sceneSteps.size(), 2u);
    ASSERT_EQ(r.subscriber->steps.size(), 3u);
    EXPECT_EQ(r.subscriber->steps[2].delta, 0);
    EXPECT_EQ(r.eventSteps.size(), 3u);
}

TEST(CadencerTest, MultiplierAndDisabledTime)
{
    Rig r;
    r.cadencer->SetTimeMultiplier(2);
    r.clock.AdvanceSeconds(1);
    EXPECT_NEAR(r.cadencer->CurrentTime(), 2, Eps);

    r.cadencer->SetTimeMultiplier(0);
    EXPECT_FALSE(r.cadencer->Enabled());
    r.clock.AdvanceSeconds(5);
    r.cadencer->Progress();
    EXPECT_TRUE(r.eventSteps.empty());
    r.cadencer->SetTimeMultiplier(2);
    EXPECT_TRUE(r.cadencer->Enabled());
    EXPECT_NEAR(r.cadencer->CurrentTime(), 2, Eps);
    r.clock.AdvanceSeconds(0.5);
    EXPECT_NEAR(r.cadencer->CurrentTime(), 3, Eps);

    // A change between non-zero multipliers continues without a jump.
    r.cadencer->SetTimeMultiplier(1);
    EXPECT_NEAR(r.cadencer->CurrentTime(), 3, Eps);
    r.clock.AdvanceSeconds(1);
    EXPECT_NEAR(r.cadencer->CurrentTime(), 4, Eps);

    r.cadencer->SetEnabled(false);
    r.clock.AdvanceSeconds(5);
    r.cadencer->SetEnabled(true);
    EXPECT_NEAR(r.cadencer->CurrentTime(), 4, Eps);
    r.cadencer->Progress();
    ASSERT_EQ(r.sceneSteps.size(), 1u);
    EXPECT_NEAR(r.sceneSteps[0].delta, 4, Eps);
}

TEST(CadencerTest, FixedMinAndMaxDelta)
{
    Rig r;
    r.cadencer->FixedDeltaTime = 0.01;
    r.clock.AdvanceSeconds(0.035);
    r.cadencer->Progress();
    ASSERT_EQ(r.subscriber->steps.size(), 3u);
    EXPECT_NEAR(r.subscriber->steps[2].time, 0.03, Eps);
    EXPECT_EQ(r.sceneSteps.size(), 3u);
    // The event is told the time computed for the whole call.
    EXPECT_NEAR(r.eventSteps[2].time, 0.035, Eps);
    // The 0.005 s left over counts again at the next call.
    r.clock.AdvanceSeconds(0.004);
    r.cadencer->Progress();
    EXPECT_EQ(r.subscriber->steps.size(), 3u);
    r.clock.AdvanceSeconds(0.0011);
    r.cadencer->Progress();
    EXPECT_EQ(r.subscriber->steps.size(), 4u);

    Rig m;
    m.cadencer->MinDeltaTime = 0.02;
    m.clock.AdvanceSeconds(0.015);
    m.cadencer->Progress();
    EXPECT_TRUE(m.eventSteps.empty());
    m.clock.AdvanceSeconds(0.01);
    m.cadencer->Progress();
    ASSERT_EQ(m.eventSteps.size(), 1u);
    EXPECT_NEAR(m.eventSteps[0].delta, 0.025, Eps);

    Rig x;
    x.cadencer->MaxDeltaTime = 0.1;
    x.clock.AdvanceSeconds(2);
    x.cadencer->Progress();
    ASSERT_EQ(x.sceneSteps.size(), 1u);
    EXPECT_NEAR(x.sceneSteps[0].delta, 0.1, Eps);
    // Scene time stays 1.9 s behind the clock for good.
    EXPECT_NEAR(x.cadencer->CurrentTime(), 0.1, Eps);
    x.clock.AdvanceSeconds(0.05);
    x.cadencer->Progress();
    EXPECT_NEAR(x.sceneSteps[1].delta, 0.05, Eps);
    EXPECT_NEAR(x.sceneSteps[1].time, 0.15, Eps);
}

TEST(CadencerTest, ReferencesSleepReentryAndFreeNotification)
{
    Rig r;
    r.cadencer->SetTimeReference(TCadencerTimeReference::cmRTC);
    EXPECT_NEAR(r.cadencer->CurrentTime(), 45000.25 * 86400 - 5.0, 1e-3);
    r.cadencer->SetTimeReference(TCadencerTimeReference::cmExternal);
    r.cadencer->SetExternalTime(7.5);
    EXPECT_NEAR(r.cadencer->CurrentTime(), 2.5, Eps);
    r.cadencer->SetTimeReference(TCadencerTimeReference::cmPerformanceCounter);

    r.cadencer->SleepLength = 3;
    r.cadencer->Progress();
    EXPECT_EQ(r.clock.slept, 3);
    r.cadencer->SleepLength = -1;

    // Progress from within the scene's own progress does nothing.
    int inner = 0;
    r.scene->OnProgress = [&](TComponent*, double, double) {
        ++inner;
        r.cadencer->Progress();
    };
    r.clock.AdvanceSeconds(1);
    r.cadencer->Progress();
    EXPECT_EQ(inner, 1);

    r.cadencer->Subscribe(r.subscriber);
    EXPECT_EQ(r.cadencer->SubscriberCount(), 1);
    delete r.subscriber;
    EXPECT_EQ(r.cadencer->SubscriberCount(), 0);
    delete r.scene;
    EXPECT_EQ(r.cadencer->Scene(), nullptr);
    r.clock.AdvanceSeconds(1);
    r.cadencer->Progress();
    EXPECT_EQ(r.eventSteps.size(), 3u);
}

// ---- The pump, through the real message loop --------------------------------------------

class CadencerPumpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application().Initialize();
        Turns(1000);  // whatever the display sent first
        SetDefaultTimingClock(&clock);
        Application().OnException = [this](const std::string& m) { errors.push_back(m); };
    }
    void TearDown() override
    {
        owner.DestroyComponents();
        Turns(100);
        EXPECT_FALSE(ASAPHandlerExists());
        Application().OnException = nullptr;
        Application().ResetTerminated();
        SetDefaultTimingClock(nullptr);
    }
    // Handles up to `n` messages without waiting; the number handled.
    int Turns(int n)
    {
        int handled = 0;
        while (handled < n && Application().HandleMessage(0)) ++handled;
        return handled;
    }
    // A cadencer on a scene, as the reader builds it: registered only once loaded.
    TCadencer* Loaded()
    {
        auto* cadencer = new TCadencer(&owner);
        cadencer->BeginLoading();
        cadencer->SetScene(scene);
        EXPECT_FALSE(ASAPHandlerExists());
        cadencer->Loaded();
        cadencer->OnProgress = [this](TComponent*, double, double) { ++progressed; };
        return cadencer;
    }

    ManualClock clock;
    TComponent owner{nullptr};
    TScene* scene = new TScene(&owner);
    int progressed = 0;
    std::vector<std::string> errors;
};

TEST_F(CadencerPumpTest, RegistrationManualModeAndEmptyList)
{
    TCadencer* cadencer = Loaded();
    EXPECT_TRUE(ASAPHandlerExists());
    EXPECT_EQ(ASAPListSize(), 1u);
    Turns(10);
    EXPECT_EQ(progressed, 10);

    // cmManual nulls the entry; the next tick compacts the list and the pump goes.
    cadencer->SetMode(TCadencerMode::cmManual);
    EXPECT_EQ(ASAPListSize(), 1u);
    EXPECT_TRUE(ASAPHandlerExists());
    Turns(100);
    EXPECT_FALSE(ASAPHandlerExists());
    EXPECT_EQ(progressed, 10);

    // Back to cmASAP: list and pump are made again.
    cadencer->SetMode(TCadencerMode::cmASAP);
    EXPECT_TRUE(ASAPHandlerExists());
    Turns(3);
    EXPECT_EQ(progressed, 13);
    delete cadencer;
    Turns(10);
    EXPECT_FALSE(ASAPHandlerExists());
}

TEST_F(CadencerPumpTest, TerminationAndErrorsDisable)
{
    TCadencer* failing = Loaded();
    TCadencer* other = new TCadencer(&owner);
    other->SetScene(scene);
    int otherSteps = 0;
    other->OnProgress = [&](TComponent*, double, double) { ++otherSteps; };
    failing->OnProgress = [](TComponent*, double, double) { throw std::runtime_error("bad step"); };
    Turns(5);
    EXPECT_FALSE(failing->Enabled());
    EXPECT_EQ(errors, std::vector<std::string>{"bad step"});
    EXPECT_EQ(otherSteps, 5);

    Application().Terminate();
    Turns(5);
    EXPECT_FALSE(other->Enabled());
    EXPECT_EQ(otherSteps, 5);
    EXPECT_FALSE(ASAPHandlerExists());
}

TEST_F(CadencerPumpTest, ThrottlePausesSameMillisecondChain)
{
    clock.frozenTicks = true;  // every tick is picked up in the millisecond it was posted
    TCadencer* cadencer = Loaded();
    // The chain pauses after 5000 same-millisecond ticks: the loop runs dry.
    int handled = Turns(20000);
    EXPECT_LT(handled, 20000);
    EXPECT_EQ(progressed, 5000);
    EXPECT_TRUE(ASAPHandlerExists());
    // The 1 ms window timer restarts it.
    for (int i = 0; i < 200 && progressed == 5000; ++i) Application().HandleMessage(5);
    EXPECT_EQ(progressed, 5001);

    clock.frozenTicks = false;
    progressed = 0;
    EXPECT_EQ(Turns(8000), 8000);
    EXPECT_EQ(progressed, 8000);
    cadencer->SetMode(TCadencerMode::cmManual);
}

TEST_F(CadencerPumpTest, IdleModeProgressesEachTurn)
{
    TCadencer* cadencer = Loaded();
    cadencer->SetMode(TCadencerMode::cmApplicationIdle);
    Turns(10);
    EXPECT_FALSE(ASAPHandlerExists());
    EXPECT_GE(progressed, 5);
    cadencer->SetMode(TCadencerMode::cmManual);
    Turns(10);
    int stopped = progressed;
    EXPECT_EQ(Turns(10), 0);
    EXPECT_EQ(progressed, stopped);
}

// ---- As the scene description gives them -------------------------------------------------

class TimingForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    TNotifyEvent NotifyHandler(std::string_view name) override
    {
        if (name == "sietodTimer") return [this](TComponent*) { ++ticks; };
        return TCustomForm::NotifyHandler(name);
    }
    int ticks = 0;
};

TEST(CadencerTest, PublishedPropertiesOfBothTimingClasses)
{
    RegisterRuntimeClasses();
    RegisterSceneClasses();
    RegisterTimingClasses();
    ClassRegistry::Instance().Register("TTimingForm", "TCustomForm", nullptr);
    TimingForm form(nullptr);
    form.ReadDescription(R"(TTimingForm Form1 {
      TScene Scene1 { }
      TCadencer cad1 {
        Scene = Scene1
        Mode = cmManual
        TimeReference = cmRTC
        TimeMultiplier = 2.5
        MaxDeltaTime = 0.5
        MinDeltaTime = 0.001
        FixedDeltaTime = 0.01
        SleepLength = 2
      }
      TAsyncTimer sietod {
        Interval = 120
        ThreadPriority = tpNormal
        OnTimer = sietodTimer
      }
    })");
    auto* cad1 = dynamic_cast<TCadencer*>(form.FindComponent("cad1"));
    auto* sietod = dynamic_cast<TAsyncTimer*>(form.FindComponent("sietod"));
    ASSERT_TRUE(cad1 && sietod);
    EXPECT_EQ(cad1->Scene(), form.FindComponent("Scene1"));
    EXPECT_EQ(cad1->Mode(), TCadencerMode::cmManual);
    EXPECT_EQ(cad1->TimeReference(), TCadencerTimeReference::cmRTC);
    EXPECT_EQ(cad1->TimeMultiplier(), 2.5);
    EXPECT_EQ(cad1->MaxDeltaTime, 0.5);
    EXPECT_EQ(cad1->MinDeltaTime, 0.001);
    EXPECT_EQ(cad1->FixedDeltaTime, 0.01);
    EXPECT_EQ(cad1->SleepLength, 2);
    EXPECT_TRUE(cad1->Enabled());
    EXPECT_FALSE(ASAPHandlerExists());
    EXPECT_EQ(sietod->Interval(), 120);
    EXPECT_EQ(sietod->ThreadPriority(), TThreadPriority::tpNormal);
    EXPECT_FALSE(sietod->Enabled());
    ASSERT_TRUE(sietod->OnTimer);
    sietod->OnTimer(sietod);
    EXPECT_EQ(form.ticks, 1);

    for (const char* bad : {"TCadencer c { Mode = cmSometimes }", "TAsyncTimer t { Interval = 65536 }",
                            "TAsyncTimer t { ThreadPriority = 3 }"}) {
        TimingForm other(nullptr);
        EXPECT_THROW(other.ReadDescription(std::string("TTimingForm F {\n") + bad + "\n}"), std::exception) << bad;
    }
}

}  // namespace
