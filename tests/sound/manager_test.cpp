// The manager, its sources and emitters, and the back-end's calls to the device, recorded.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/camera.h"
#include "platform/exception.h"
#include "sound/smfmod.h"
#include "tests/sound/recording_device.h"

namespace sauno {
namespace {

// A little RIFF file the back-end can hand over.
std::unique_ptr<TWAVFile> TinyWav()
{
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 40, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1,   0,   1,   0,   0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0,
                              'd', 'a', 't', 'a', 4, 0, 0, 0, 1, 0, 2, 0};
    auto wav = std::make_unique<TWAVFile>();
    wav->LoadFromStream(b);
    return wav;
}

class SoundManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSoundDeviceFactory([this]() -> std::unique_ptr<platform::SoundDevice> {
            if (noDevice) return nullptr;
            auto d = std::make_unique<testing::RecordingDevice>(calls);
            device = d.get();
            return d;
        });
        library = new TSoundLibrary(&root);
        library->SetName("SoundLibrary1");
        auto wav = TinyWav();
        for (const char* name : {"tuli2.wav", "sihahdus2.wav"}) {
            TSoundSample& s = library->Samples().Add();
            s.Name = name;
            s.SetData(wav.get());
        }
        library->Samples().Add().Name = "empty.wav";
        scene = new TScene(&root);
        listener = scene->Objects().AddNewChild<TDummyCube>();
        target = scene->Objects().AddNewChild<TDummyCube>();
        target->Position().SetPoint(1, 2, 3);
    }
    void TearDown() override { SetSoundDeviceFactory(nullptr); }

    TSMFMOD& Manager()
    {
        auto* m = new TSMFMOD(&root);
        m->SetListener(listener);
        m->SetActive(true);
        return *m;
    }
    TBSoundEmitter& Emit(TBaseSceneObject* on, const char* name, int loops = 1)
    {
        auto* e = on->Behaviours().Add<TBSoundEmitter>();
        e->Source().SetVolume(0.5f);
        e->Source().SetSoundLibrary(library);
        e->Source().SetSoundName(name);
        e->Source().SetNbLoops(loops);
        e->SetPlaying(true);
        return *e;
    }
    std::vector<std::string> Take()
    {
        std::vector<std::string> out;
        out.swap(calls);
        return out;
    }

    std::vector<std::string> calls;
    TComponent root{nullptr};  // after the log: its components still write to it while they go
    TScene* scene = nullptr;
    TSoundLibrary* library = nullptr;
    TDummyCube* listener = nullptr;
    TDummyCube* target = nullptr;
    testing::RecordingDevice* device = nullptr;
    bool noDevice = false;
};

using Calls = std::vector<std::string>;

TEST_F(SoundManagerTest, TheGamesSequenceFromStartToShutDown)
{
    TSMFMOD& m = Manager();
    EXPECT_EQ(Take(), (Calls{"SetOutput(2)", "SetDriver(0)", "GetDriverCaps(0)", "Init(44100,32,0)",
                             "SetSFXMasterVolume(255)", "SetDistanceFactor(1)", "SetRolloffFactor(1)",
                             "SetDopplerFactor(1)"}));
    ASSERT_EQ(ActiveSoundManager(), &m);

    TBSoundEmitter& fire = Emit(listener, "tuli2.wav", 9999);
    EXPECT_EQ(fire.Name, "Sound Emitter");  // as the class calls itself
    m.DoProgress({0.016, 0.016});
    const std::string listenerAt = "SetListenerAttributes((0,0,-0),(0,0,-0),(0,0,-1),(0,1,-0))";
    EXPECT_EQ(Take(), (Calls{listenerAt, "SampleLoad(-1,48 bytes,0x9001,0,48)", "SampleSetMode(100,2)",
                             "SampleSetMinMaxDistance(100,1,100)", "PlaySound(-1,100)",
                             "Set3DAttributes(7,(0,0,-0),(0,0,0))", "SetVolume(7,128)", "SetPriority(7,0)",
                             "Update()"}));

    m.DoProgress({0.016, 0.2});
    EXPECT_EQ(Take(), (Calls{listenerAt, "IsPlaying(7)", "Set3DAttributes(7,(0,0,-0),(0,0,0))", "SetVolume(7,128)",
                             "SetPriority(7,0)", "Update()"}));

    // A hiss at the target, once, without a loop mode; it goes at the first update after it ends.
    TBSoundEmitter& hiss = Emit(target, "sihahdus2.wav");
    m.DoProgress({0.016, 0.4});
    EXPECT_EQ(Take(), (Calls{listenerAt, "SampleLoad(-1,48 bytes,0x9001,0,48)", "SampleSetMinMaxDistance(101,1,100)",
                             "PlaySound(-1,101)", "Set3DAttributes(8,(1,2,-3),(0,0,0))", "SetVolume(8,128)",
                             "SetPriority(8,0)", "IsPlaying(7)", "Set3DAttributes(7,(0,0,-0),(0,0,0))",
                             "SetVolume(7,128)", "SetPriority(7,0)", "Update()"}));
    device->finished.insert(8);
    m.DoProgress({0.016, 0.6});
    EXPECT_EQ(Take(), (Calls{listenerAt, "IsPlaying(8)", "SampleFree(101)", "IsPlaying(7)",
                             "Set3DAttributes(7,(0,0,-0),(0,0,0))", "SetVolume(7,128)", "SetPriority(7,0)",
                             "Update()"}));
    EXPECT_FALSE(hiss.Playing());
    EXPECT_TRUE(fire.Playing());
    EXPECT_EQ(m.Sources().Count(), 1);

    m.SetActive(false);
    EXPECT_EQ(Take(), (Calls{"StopSound(7)", "SampleFree(100)", "StopSound(-3)", "Close()"}));
    EXPECT_FALSE(fire.Playing());
    EXPECT_EQ(ActiveSoundManager(), nullptr);
    // Inactive: settings call nothing and wait for the next activation.
    m.SetMasterVolume(0.5f);
    EXPECT_TRUE(Take().empty());
    m.SetActive(true);
    EXPECT_EQ(Take()[4], "SetSFXMasterVolume(128)");
}

TEST_F(SoundManagerTest, VolumesVectorsAndListenerDirection)
{
    EXPECT_EQ(DeviceVolume(1), 255);
    EXPECT_EQ(DeviceVolume(0.5f), 128);  // 127.5 to the even neighbour
    EXPECT_EQ(DeviceVolume(0), 0);
    EXPECT_EQ(DeviceVolume(0.3f), 76);
    const platform::SoundVector v = DeviceVector({1, 2, 3, 1});
    EXPECT_EQ(v.x, 1);
    EXPECT_EQ(v.y, 2);
    EXPECT_EQ(v.z, -3);

    // A listener that moved between updates reports its velocity; a camera faces its target.
    TSMFMOD& m = Manager();
    Take();
    m.DoProgress({0, 1});
    Take();
    listener->Position().SetPoint(0.5f, 0, 0);
    m.DoProgress({0, 1.5});
    EXPECT_EQ(Take()[0], "SetListenerAttributes((0.5,0,-0),(1,0,-0),(0,0,-1),(0,1,-0))");
}

TEST_F(SoundManagerTest, ClampsAndTheThrottle)
{
    TSoundManager m(nullptr);
    m.SetUpdateFrequency(100);
    EXPECT_EQ(m.UpdateFrequency(), 60);
    m.SetUpdateFrequency(0.5f);
    EXPECT_EQ(m.UpdateFrequency(), 1);
    m.SetMaxChannels(0);
    EXPECT_EQ(m.MaxChannels(), 1);
    m.SetOutputFrequency(8000);
    EXPECT_EQ(m.OutputFrequency(), 11025);
    m.SetMasterVolume(2);
    EXPECT_EQ(m.MasterVolume(), 1);
    m.SetDistanceFactor(0);
    EXPECT_EQ(m.DistanceFactor(), 1);
    m.SetRollOffFactor(-1);
    EXPECT_EQ(m.RollOffFactor(), 1);
    m.SetDopplerFactor(11);
    EXPECT_EQ(m.DopplerFactor(), 10);
    TSoundSource s;
    s.ClearChanges();
    s.SetVolume(1.5f);  // stays 1: no change
    EXPECT_EQ(s.Volume(), 1);
    EXPECT_EQ(s.Changes(), 0);
    s.SetVolume(0.25f);
    EXPECT_EQ(s.Changes(), scStatus);
    s.SetVolume(-0.2f);
    EXPECT_EQ(s.Volume(), 0);
    s.SetMinDistance(-5);
    EXPECT_EQ(s.MinDistance(), 0);
    s.SetInsideConeAngle(400);
    EXPECT_EQ(s.InsideConeAngle(), 360);
    s.ClearChanges();
    s.SetSoundName("x");
    EXPECT_EQ(s.Changes(), scSample);

    // Steps of 0.016 s: an update on about every seventh step once more than 0.1 s has passed.
    TSMFMOD& live = Manager();
    Take();
    std::vector<int> updated;
    double time = 0;
    for (int step = 1; step <= 30; ++step) {
        time += 0.016;
        live.DoProgress({0.016, time});
        if (!Take().empty()) updated.push_back(step);
    }
    EXPECT_EQ(updated, (std::vector<int>{1, 8, 15, 22, 29}));
}

TEST_F(SoundManagerTest, ActivationEmittersAndSilentSources)
{
    TSMFMOD& first = Manager();
    TBSoundEmitter& fire = Emit(listener, "tuli2.wav", 9999);
    fire.SetPlaying(true);  // already playing: no second copy
    EXPECT_EQ(first.Sources().Count(), 1);
    TSMFMOD& second = Manager();
    EXPECT_FALSE(first.Active());
    EXPECT_TRUE(second.Active());
    EXPECT_EQ(first.Sources().Count(), 0);
    EXPECT_FALSE(fire.Playing());

    // A missing sample or an empty one stays in the sources and never reaches the device.
    Emit(target, "nothing.wav");
    Emit(target, "empty.wav");
    Take();
    second.DoProgress({0, 5});
    EXPECT_EQ(Take(), (Calls{"SetListenerAttributes((0,0,-0),(0,0,-0),(0,0,-1),(0,1,-0))", "Update()"}));
    EXPECT_EQ(second.Sources().Count(), 2);

    // No free channel: the source is dropped at once.
    device->noFreeChannel = true;
    TBSoundEmitter& hiss = Emit(target, "sihahdus2.wav");
    second.DoProgress({0, 6});
    EXPECT_FALSE(hiss.Playing());
    EXPECT_EQ(second.Sources().Count(), 2);
    // The emitter outlives its source and starts a new copy.
    device->noFreeChannel = false;
    hiss.SetPlaying(true);
    second.DoProgress({0, 7});
    EXPECT_TRUE(hiss.Playing());

    // Mute and pause reach the device as -1 / 0.
    Take();
    hiss.PlayingSource()->SetMute(true);
    second.SetPause(true);
    EXPECT_EQ(Take(), (Calls{"SetMute(7,-1)", "SetPaused(7,-1)"}));
    delete target;  // its emitters go, and their sources with them (the hiss stopped on the device)
    target = nullptr;
    EXPECT_EQ(second.Sources().Count(), 0);
}

TEST_F(SoundManagerTest, FailuresOfTheBackEnd)
{
    noDevice = true;
    auto* m = new TSMFMOD(&root);
    m->SetActive(true);
    EXPECT_FALSE(m->Active());
    auto* e = target->Behaviours().Add<TBSoundEmitter>();
    e->SetPlaying(true);  // no active manager: a message, nothing else
    EXPECT_FALSE(e->Playing());

    noDevice = false;
    SetSoundDeviceFactory([this]() -> std::unique_ptr<platform::SoundDevice> {
        auto d = std::make_unique<testing::RecordingDevice>(calls);
        d->initFails = true;
        return d;
    });
    try {
        m->SetActive(true);
        FAIL();
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "FSOUND_Init failed.");
    }
    EXPECT_FALSE(m->Active());
}

TEST_F(SoundManagerTest, StoredFormsRoundTrip)
{
    TBSoundEmitter& e = *listener->Behaviours().Add<TBSoundEmitter>();
    e.Name = "fire";
    e.Source().SetSoundLibrary(library);
    e.Source().SetSoundName("tuli2.wav");
    e.Source().SetNbLoops(9999);
    e.Source().SetVolume(0.5f);
    e.Source().SetPriority(3);
    const std::vector<uint8_t> stored = e.WriteToFiler();
    TBSoundEmitter& copy = *target->Behaviours().Add<TBSoundEmitter>();
    copy.ReadFromFiler(stored);
    EXPECT_EQ(copy.Name, "fire");
    EXPECT_EQ(copy.Source().SoundLibrary(), library);  // found again by name
    EXPECT_EQ(copy.Source().SoundName(), "tuli2.wav");
    EXPECT_EQ(copy.Source().NbLoops(), 9999);
    EXPECT_EQ(copy.Source().Volume(), 0.5f);
    EXPECT_EQ(copy.Source().Priority(), 3);
    EXPECT_EQ(copy.WriteToFiler(), stored);
    for (size_t cut = 0; cut < stored.size(); cut += 7)
        EXPECT_THROW(copy.ReadFromFiler(std::span<const uint8_t>(stored).first(cut)), Exception);
}

// A camera that looks at a target listens towards it, whatever its own direction says; its up
// is turned to stand square to that line.
TEST_F(SoundManagerTest, ACameraWithATargetListensTowardsIt)
{
    auto* carrier = scene->Objects().AddNewChild<TDummyCube>();
    carrier->Position().SetPoint(5, 0, 0);
    auto* camera = carrier->AddNewChild<TCamera>();
    target->Position().SetPoint(5, 1, -1);
    camera->SetTargetObject(target);
    TSoundManager m(nullptr);
    m.SetListener(camera);
    const TListenerFrame f = m.ListenerFrame();
    EXPECT_NEAR(f.position.x, 5, 1e-6f);
    const float h = std::sqrt(0.5f);
    EXPECT_NEAR(f.direction.x, 0, 1e-6f);
    EXPECT_NEAR(f.direction.y, h, 1e-6f);
    EXPECT_NEAR(f.direction.z, -h, 1e-6f);
    EXPECT_NEAR(f.up.x, 0, 1e-6f);
    EXPECT_NEAR(f.up.y, 0.5f, 1e-6f);
    EXPECT_NEAR(f.up.z, 0.5f, 1e-6f);

    // Without its target the camera's own direction and up count.
    camera->SetTargetObject(nullptr);
    const TListenerFrame own = m.ListenerFrame();
    const TVector4 direction = camera->AbsoluteDirection(), up = camera->AbsoluteUp();
    EXPECT_NEAR(own.direction.z, direction.z, 1e-6f);
    EXPECT_NEAR(own.direction.y, direction.y, 1e-6f);
    EXPECT_NEAR(own.up.y, up.y, 1e-6f);
}

}  // namespace
}  // namespace sauno
