// The OpenAL Soft device heard through its loopback output, alone and under the manager.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "sound/smfmod.h"

namespace sauno {
namespace {

using platform::OpenALSoundDevice;
namespace sd = platform::sound;

// A RIFF file of a 16-bit mono tone.
std::vector<uint8_t> Tone(double seconds, int rate = 44100, double hz = 440)
{
    const uint32_t frames = static_cast<uint32_t>(seconds * rate), data = frames * 2;
    std::vector<uint8_t> b;
    auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    auto p32 = [&](uint32_t v) { for (int s = 0; s < 32; s += 8) b.push_back(uint8_t(v >> s)); };
    auto p16 = [&](uint16_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
    tag("RIFF"), p32(36 + data), tag("WAVE"), tag("fmt "), p32(16), p16(1), p16(1), p32(rate), p32(rate * 2), p16(2),
        p16(16), tag("data"), p32(data);
    for (uint32_t i = 0; i < frames; ++i) p16(uint16_t(int16_t(12000 * std::sin(2 * 3.14159265 * hz * i / rate))));
    return b;
}

struct Levels {
    double left = 0, right = 0;
};
Levels Render(OpenALSoundDevice& d, double seconds)
{
    std::vector<float> buffer(static_cast<size_t>(seconds * 44100) * 2);
    d.RenderLoopback(buffer);
    Levels l;
    for (size_t i = 0; i < buffer.size(); i += 2) l.left += buffer[i] * buffer[i], l.right += buffer[i + 1] * buffer[i + 1];
    const double n = double(buffer.size() / 2);
    l.left = std::sqrt(l.left / n);
    l.right = std::sqrt(l.right / n);
    return l;
}

class OpenALDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device.Init(44100, 32, 0)); }
    int32_t Play(const std::vector<uint8_t>& file, uint32_t mode, float x, float z, float minD = 1, float maxD = 100)
    {
        const int32_t s = device.SampleLoad(sd::Free, file, sd::LoadFromMemory | sd::Hardware3D | mode, 0);
        EXPECT_NE(s, sd::None);
        device.SampleSetMinMaxDistance(s, minD, maxD);
        const int32_t c = device.PlaySound(sd::Free, s);
        EXPECT_NE(c, sd::None);
        device.Set3DAttributes(c, {x, 0, z}, {});
        return c;
    }
    OpenALSoundDevice device{OpenALSoundDevice::Output::Loopback};
};

TEST_F(OpenALDeviceTest, ASourceToTheRightIsLouderOnTheRight)
{
    device.SetListenerAttributes({}, {}, 0, 0, 1, 0, 1, 0);  // facing +z of the device's left-handed space
    Play(Tone(1), sd::LoopOff, 2, 0);
    const Levels right = Render(device, 0.2);
    EXPECT_GT(right.right, 3 * right.left);
    device.StopSound(sd::AllChannels);
    Play(Tone(1), sd::LoopOff, -2, 0);
    const Levels left = Render(device, 0.2);
    EXPECT_GT(left.left, 3 * left.right);
}

TEST_F(OpenALDeviceTest, OnceStopsAfterItsLengthALoopDoesNot)
{
    const int32_t once = Play(Tone(0.3), sd::LoopOff, 0, 1);
    const int32_t loop = Play(Tone(0.3), sd::LoopNormal, 0, 1);
    Render(device, 0.25);
    EXPECT_TRUE(device.IsPlaying(once));
    Render(device, 0.1);
    EXPECT_FALSE(device.IsPlaying(once));
    EXPECT_TRUE(device.IsPlaying(loop));
    Render(device, 1.0);
    EXPECT_TRUE(device.IsPlaying(loop));
    EXPECT_GT(Render(device, 0.1).left, 0.01);
    // Its channel goes to the next sound; the old handle then plays nothing and stops nothing.
    const int32_t next = Play(Tone(1), sd::LoopOff, 0, 1);
    EXPECT_EQ(next & 0xFFF, once & 0xFFF);
    EXPECT_NE(next, once);
    EXPECT_FALSE(device.IsPlaying(once));
    EXPECT_TRUE(device.StopSound(once));
    EXPECT_TRUE(device.IsPlaying(next));
    EXPECT_FALSE(device.StopSound(0xFFF));  // no such channel
}

TEST_F(OpenALDeviceTest, DistanceAttenuatesBetweenMinAndMax)
{
    auto level = [&](float distance) {
        device.StopSound(sd::AllChannels);
        Play(Tone(1), sd::LoopOff, 0, distance, 2, 8);
        const Levels l = Render(device, 0.2);
        return l.left + l.right;
    };
    const double inside = level(1), atMin = level(2), twice = level(4), atMax = level(8), beyond = level(30);
    EXPECT_NEAR(inside / atMin, 1, 0.05);   // full volume inside the minimum distance
    EXPECT_NEAR(atMin / twice, 2, 0.15);    // inverse distance
    EXPECT_NEAR(atMin / atMax, 4, 0.3);
    EXPECT_NEAR(beyond / atMax, 1, 0.05);  // no further fall beyond the maximum
}

TEST_F(OpenALDeviceTest, VolumeMuteAndMasterVolume)
{
    const int32_t c = Play(Tone(1), sd::LoopOff, 0, 1);
    // Gains glide to a new value over a few milliseconds; each level is measured after the glide.
    auto settled = [&] {
        Render(device, 0.05);
        return Render(device, 0.1).left;
    };
    const double full = settled();
    device.SetVolume(c, 128);
    EXPECT_NEAR(settled() / full, 128.0 / 255, 0.03);
    device.SetMute(c, -1);
    EXPECT_LT(settled(), full * 0.01);
    device.SetMute(c, 0);
    EXPECT_NEAR(settled() / full, 128.0 / 255, 0.03);
    device.SetSFXMasterVolume(0);
    EXPECT_LT(settled(), full * 0.01);
    // Not a RIFF file: refused without a crash.
    const std::vector<uint8_t> junk = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0x7F, 'W', 'A', 'V', 'E', 'd', 'a'};
    EXPECT_EQ(device.SampleLoad(sd::Free, junk, sd::LoadFromMemory, 0), sd::None);
}

// The manager on the real device: the hiss leaves the sources at the first update after it ends.
TEST(OpenALManager, AHissEndsAndLeavesTheSources)
{
    OpenALSoundDevice* device = nullptr;
    SetSoundDeviceFactory([&]() -> std::unique_ptr<platform::SoundDevice> {
        auto d = std::make_unique<OpenALSoundDevice>(OpenALSoundDevice::Output::Loopback);
        device = d.get();
        return d;
    });
    TComponent root(nullptr);
    auto* library = new TSoundLibrary(&root);
    TWAVFile wav;
    wav.LoadFromStream(Tone(0.5));
    TSoundSample& sample = library->Samples().Add();
    sample.Name = "hiss.wav";
    sample.SetData(&wav);
    auto* target = new TDummyCube(&root);
    auto* manager = new TSMFMOD(&root);
    manager->SetActive(true);
    ASSERT_TRUE(manager->Active());
    EXPECT_TRUE(manager->HasReverbSupport());
    manager->SetEnvironment(TSoundEnvironment::seBathroom);
    auto* hiss = target->Behaviours().Add<TBSoundEmitter>();
    hiss->Source().SetSoundLibrary(library);
    hiss->Source().SetSoundName("HISS.WAV");
    hiss->SetPlaying(true);
    auto* loop = target->Behaviours().Add<TBSoundEmitter>();
    loop->Source().SetSoundLibrary(library);
    loop->Source().SetSoundName("hiss.wav");
    loop->Source().SetNbLoops(2);
    loop->SetPlaying(true);
    std::vector<float> buffer(4410 * 2);
    double time = 0;
    for (int step = 0; step < 8; ++step, time += 0.1) {
        manager->DoProgress({0.1, time + 0.1});
        device->RenderLoopback(buffer);
    }
    EXPECT_FALSE(hiss->Playing());
    EXPECT_TRUE(loop->Playing());
    EXPECT_EQ(manager->Sources().Count(), 1);
    manager->SetActive(false);
    SetSoundDeviceFactory(nullptr);
}

// Two voices and more sounds: a sound waits for its priority, then takes the voice of a less
// important one or gives way itself; equals keep the voice they have.
TEST(OpenALPriority, TheLowerPriorityGivesWayWhenTheVoicesAreTaken)
{
    const std::vector<uint8_t> tone = Tone(2);
    auto level = [&](int sounds) {
        OpenALSoundDevice alone{OpenALSoundDevice::Output::Loopback};
        EXPECT_TRUE(alone.Init(44100, 8, 0));
        const int32_t s = alone.SampleLoad(sd::Free, tone, sd::LoadFromMemory | sd::LoopOff, 0);
        for (int i = 0; i < sounds; ++i) alone.PlaySound(sd::Free, s);
        return Render(alone, 0.1).left;
    };
    // Measured first: a device's context is the current one while it lives.
    const double one = level(1), two = level(2);
    OpenALSoundDevice device{OpenALSoundDevice::Output::Loopback};
    ASSERT_TRUE(device.Init(44100, 2, 0));
    const int32_t s = device.SampleLoad(sd::Free, tone, sd::LoadFromMemory | sd::LoopOff, 0);
    auto play = [&](int32_t priority) {
        const int32_t c = device.PlaySound(sd::Free, s);
        EXPECT_NE(c, sd::None);
        EXPECT_TRUE(device.IsPlaying(c));  // playing, or waiting to know its priority
        device.SetPriority(c, priority);
        return c;
    };
    const int32_t a = play(5), b = play(1), c = play(3);
    EXPECT_TRUE(device.IsPlaying(a));
    EXPECT_FALSE(device.IsPlaying(b));
    EXPECT_TRUE(device.IsPlaying(c));
    EXPECT_FALSE(device.IsPlaying(play(3)));
    EXPECT_FALSE(device.IsPlaying(play(-2)));
    // One that is never given a priority is settled at the next update, as priority 0.
    const int32_t late = device.PlaySound(sd::Free, s);
    EXPECT_TRUE(device.IsPlaying(late));
    device.Update();
    EXPECT_FALSE(device.IsPlaying(late));
    // Two are heard, in step, and nothing of those that gave way.
    EXPECT_NEAR(Render(device, 0.1).left / two, 1, 0.02);
    EXPECT_NEAR(two / one, 2, 0.05);
    // A voice that falls free goes to the next sound at once.
    device.StopSound(a);
    const int32_t next = play(-7);
    EXPECT_TRUE(device.IsPlaying(next));
    EXPECT_TRUE(device.IsPlaying(c));
}

// The manager with two channels and three sounds: the least important one leaves the sources.
TEST(OpenALManager, TheLeastImportantSoundGivesWay)
{
    SetSoundDeviceFactory([] { return std::make_unique<OpenALSoundDevice>(OpenALSoundDevice::Output::Loopback); });
    TComponent root(nullptr);
    auto* library = new TSoundLibrary(&root);
    TWAVFile wav;
    wav.LoadFromStream(Tone(2));
    TSoundSample& sample = library->Samples().Add();
    sample.Name = "tone.wav";
    sample.SetData(&wav);
    auto* where = new TDummyCube(&root);
    auto* manager = new TSMFMOD(&root);
    manager->SetMaxChannels(2);
    manager->SetActive(true);
    ASSERT_TRUE(manager->Active());
    auto emit = [&](int32_t priority) {
        auto* e = where->Behaviours().Add<TBSoundEmitter>();
        e->Source().SetSoundLibrary(library);
        e->Source().SetSoundName("tone.wav");
        e->Source().SetPriority(priority);
        e->SetPlaying(true);
        return e;
    };
    TBSoundEmitter *high = emit(5), *low = emit(1), *middle = emit(3);
    manager->DoProgress({0.2, 0.2});
    manager->DoProgress({0.2, 0.4});
    EXPECT_TRUE(high->Playing());
    EXPECT_FALSE(low->Playing());
    EXPECT_TRUE(middle->Playing());
    EXPECT_EQ(manager->Sources().Count(), 2);
    manager->SetActive(false);
    SetSoundDeviceFactory(nullptr);
}

// The share of real time spent mixing, timed around each render of the loopback output.
TEST(OpenALCpuUsage, MeasuredAroundTheMix)
{
    OpenALSoundDevice device{OpenALSoundDevice::Output::Loopback};
    ASSERT_TRUE(device.Init(44100, 64, 0));
    EXPECT_EQ(device.GetCPUUsage(), 0);
    const std::vector<uint8_t> tone = Tone(3);
    const int32_t s = device.SampleLoad(sd::Free, tone, sd::LoadFromMemory | sd::LoopOff, 0);
    for (int i = 0; i < 64; ++i) device.SetFrequency(device.PlaySound(sd::Free, s), 30000 + 500 * i);
    std::vector<float> buffer(441 * 2);
    const auto start = std::chrono::steady_clock::now();
    for (int step = 0; step < 200; ++step) device.RenderLoopback(buffer);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // About the time the renders took, as a share of the 2 s they rendered.
    const double measured = 100 * wall / 2, usage = device.GetCPUUsage();
    EXPECT_GT(usage, measured / 3) << wall;
    EXPECT_LT(usage, measured * 3) << wall;
    device.Close();
    EXPECT_EQ(device.GetCPUUsage(), 0);
}

}  // namespace
}  // namespace sauno

namespace sauno {
namespace {

// Without sound hardware the default output falls back to a silent one that still keeps time.
TEST(OpenALSilentOutput, SoundsEndWhenTheyWouldHaveEnded)
{
    platform::OpenALSoundDevice device;  // the default output, as the game opens it
    ASSERT_TRUE(device.Init(44100, 32, 0));
    if (!device.Silent()) GTEST_SKIP() << "this machine has a sound output";
    const std::vector<uint8_t> tone = Tone(0.3);
    const int32_t s = device.SampleLoad(sd::Free, tone, sd::LoadFromMemory | sd::LoopOff, 0);
    const int32_t c = device.PlaySound(sd::Free, s);
    EXPECT_TRUE(device.IsPlaying(c));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(device.IsPlaying(c));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(device.IsPlaying(c));
    device.Close();
}

// On an output the library mixes itself (here its wave-file writer, which keeps real time), the
// threads it started for that output are measured. Returns the usage, or -1 if that output did
// not open.
float UsageOnTheWaveFileOutput()
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "sauno-cpu-XXXXXX").string();
    const fs::path dir = mkdtemp(pattern.data());
    std::ofstream(dir / "alsoft.conf") << "[general]\ndrivers=wave\n[wave]\nfile=" << (dir / "out.wav").string() << "\n";
    setenv("ALSOFT_CONF", (dir / "alsoft.conf").c_str(), 1);
    float usage = -1;
    {
        platform::OpenALSoundDevice device;
        if (device.Init(44100, 64, 0) && !device.Silent()) {
            const std::vector<uint8_t> tone = Tone(1);
            const int32_t s = device.SampleLoad(sd::Free, tone, sd::LoadFromMemory | sd::LoopOff, 0);
            for (int i = 0; i < 64; ++i) device.SetFrequency(device.PlaySound(sd::Free, s), 30000 + 500 * i);
            for (int i = 0; i < 8; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(60));
                device.Update();
            }
            usage = device.GetCPUUsage();
        }
    }
    fs::remove_all(dir);
    return usage;
}

TEST(OpenALCpuUsage, MeasuredOnTheLibrarysOwnMixingThreads)
{
    // The library reads its configuration once, at its first use in a process: a fresh one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const float usage = UsageOnTheWaveFileOutput();
            std::fprintf(stderr, "usage %g\n", double(usage));
            std::exit(usage > 0 && usage < 100 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "usage");
}

}  // namespace
}  // namespace sauno
