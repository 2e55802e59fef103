#pragma once
// A sound device that writes down every call with its arguments, for comparing the back-end's
// call sequence; its sounds play until told otherwise.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/sounddevice.h"

namespace sauno::testing {

class RecordingDevice final : public platform::SoundDevice {
public:
    std::vector<std::string>& calls;
    explicit RecordingDevice(std::vector<std::string>& log) : calls(log) {}

    std::set<int32_t> finished;  // channels that report not playing
    bool noFreeChannel = false;
    bool initFails = false;

    static std::string F(float v)
    {
        char b[32];
        std::snprintf(b, sizeof b, "%g", static_cast<double>(v));
        return b;
    }
    static std::string V(const platform::SoundVector& v) { return "(" + F(v.x) + "," + F(v.y) + "," + F(v.z) + ")"; }
    void Log(std::string s) { calls.push_back(std::move(s)); }

    bool SetOutput(int32_t o) override { return Log("SetOutput(" + std::to_string(o) + ")"), true; }
    bool SetDriver(int32_t d) override { return Log("SetDriver(" + std::to_string(d) + ")"), true; }
    bool GetDriverCaps(int32_t d, uint32_t& caps) override
    {
        Log("GetDriverCaps(" + std::to_string(d) + ")");
        caps = 0;
        return true;
    }
    bool Init(int32_t rate, int32_t channels, uint32_t flags) override
    {
        Log("Init(" + std::to_string(rate) + "," + std::to_string(channels) + "," + std::to_string(flags) + ")");
        return !initFails;
    }
    void Close() override { Log("Close()"); }
    void Update() override { Log("Update()"); }
    bool SetSFXMasterVolume(int32_t v) override { return Log("SetSFXMasterVolume(" + std::to_string(v) + ")"), true; }
    float GetCPUUsage() override { return 1.5f; }
    int32_t SampleLoad(int32_t index, std::span<const uint8_t> memory, uint32_t mode, int32_t offset) override
    {
        char b[96];
        std::snprintf(b, sizeof b, "SampleLoad(%d,%zu bytes,0x%X,%d,%zu)", index, memory.size(), mode, offset,
                      memory.size());
        Log(b);
        return nextSample++;
    }
    void SampleFree(int32_t s) override { Log("SampleFree(" + std::to_string(s) + ")"); }
    bool SampleSetMode(int32_t s, uint32_t m) override
    {
        return Log("SampleSetMode(" + std::to_string(s) + "," + std::to_string(m) + ")"), true;
    }
    bool SampleSetMinMaxDistance(int32_t s, float mn, float mx) override
    {
        return Log("SampleSetMinMaxDistance(" + std::to_string(s) + "," + F(mn) + "," + F(mx) + ")"), true;
    }
    int32_t PlaySound(int32_t c, int32_t s) override
    {
        Log("PlaySound(" + std::to_string(c) + "," + std::to_string(s) + ")");
        return noFreeChannel ? -1 : nextChannel++;
    }
    bool StopSound(int32_t c) override { return Log("StopSound(" + std::to_string(c) + ")"), true; }
    bool IsPlaying(int32_t c) override
    {
        Log("IsPlaying(" + std::to_string(c) + ")");
        return !finished.count(c);
    }
    bool SetVolume(int32_t c, int32_t v) override
    {
        return Log("SetVolume(" + std::to_string(c) + "," + std::to_string(v) + ")"), true;
    }
    bool SetFrequency(int32_t c, int32_t f) override
    {
        return Log("SetFrequency(" + std::to_string(c) + "," + std::to_string(f) + ")"), true;
    }
    bool SetPriority(int32_t c, int32_t p) override
    {
        return Log("SetPriority(" + std::to_string(c) + "," + std::to_string(p) + ")"), true;
    }
    bool SetMute(int32_t c, int8_t m) override { return Log("SetMute(" + std::to_string(c) + "," + std::to_string(m) + ")"), true; }
    bool SetPaused(int32_t c, int8_t p) override
    {
        return Log("SetPaused(" + std::to_string(c) + "," + std::to_string(p) + ")"), true;
    }
    bool Set3DAttributes(int32_t c, const platform::SoundVector& p, const platform::SoundVector& v) override
    {
        return Log("Set3DAttributes(" + std::to_string(c) + "," + V(p) + "," + V(v) + ")"), true;
    }
    void SetListenerAttributes(const platform::SoundVector& p, const platform::SoundVector& v, float fx, float fy,
                               float fz, float tx, float ty, float tz) override
    {
        Log("SetListenerAttributes(" + V(p) + "," + V(v) + "," + V({fx, fy, fz}) + "," + V({tx, ty, tz}) + ")");
    }
    void SetDistanceFactor(float f) override { Log("SetDistanceFactor(" + F(f) + ")"); }
    void SetRolloffFactor(float f) override { Log("SetRolloffFactor(" + F(f) + ")"); }
    void SetDopplerFactor(float f) override { Log("SetDopplerFactor(" + F(f) + ")"); }
    bool SetReverbProperties(const platform::ReverbProperties& p) override
    {
        return Log("SetReverbProperties(" + std::to_string(p.Environment) + ")"), true;
    }

private:
    int32_t nextSample = 100;
    int32_t nextChannel = 7;
};

}  // namespace sauno::testing
