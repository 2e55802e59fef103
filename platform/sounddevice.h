#pragma once
// The sound device the sound back-end talks to: samples loaded from memory, channels that play
// them in 3D, and one listener. Conventions:
// - samples and channels are handles; -1 asks for any free slot or channel and also means none;
//   -3 stands for all channels;
// - a sound's priority decides who is heard when more sounds ask to play than there are voices:
//   a higher number is more important, and a sound gives way to one whose priority is higher;
// - a channel handle goes stale when its channel starts another sound: calls on it then change
//   nothing and IsPlaying reports false;
// - volumes run from 0 to 255; booleans passed in are 0 (false) or any other value (true);
// - vectors are in a left-handed space (z points away from a listener facing forward);
// - operations report success as their boolean result.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/export.h"

namespace sauno::platform {

struct SAUNO_PLATFORM_EXPORT SoundVector {
    float x = 0, y = 0, z = 0;
};

// The environmental reverb of one standard environment, in the usual listener-reverb units:
// levels in millibels, times in seconds, frequencies in hertz. 120 bytes.
struct SAUNO_PLATFORM_EXPORT ReverbProperties {
    uint32_t Environment = 0;
    float EnvSize = 7.5f;
    float EnvDiffusion = 1;
    int32_t Room = -1000;
    int32_t RoomHF = -100;
    int32_t RoomLF = 0;
    float DecayTime = 1.49f;
    float DecayHFRatio = 0.83f;
    float DecayLFRatio = 1;
    int32_t Reflections = -2602;
    float ReflectionsDelay = 0.007f;
    float ReflectionsPan[3] = {0, 0, 0};
    int32_t Reverb = 200;
    float ReverbDelay = 0.011f;
    float ReverbPan[3] = {0, 0, 0};
    float EchoTime = 0.25f;
    float EchoDepth = 0;
    float ModulationTime = 0.25f;
    float ModulationDepth = 0;
    float AirAbsorptionHF = -5;
    float HFReference = 5000;
    float LFReference = 250;
    float RoomRolloffFactor = 0;
    float Diffusion = 100;
    float Density = 100;
    uint32_t Flags = 0x1f;
};
static_assert(sizeof(ReverbProperties) == 120);

namespace sound {
constexpr int32_t Free = -1;         // any free sample slot or channel
constexpr int32_t None = -1;         // no sample, no channel
constexpr int32_t AllChannels = -3;
// Sample modes.
constexpr uint32_t LoopOff = 0x1;
constexpr uint32_t LoopNormal = 0x2;
constexpr uint32_t Hardware3D = 0x1000;
constexpr uint32_t LoadFromMemory = 0x8000;
// Driver capabilities: environmental reverb of the second and third generation.
constexpr uint32_t CapsReverb2 = 0x2;
constexpr uint32_t CapsReverb3 = 0x10;
}  // namespace sound

class SAUNO_PLATFORM_EXPORT SoundDevice {
public:
    virtual ~SoundDevice() = default;

    virtual bool SetOutput(int32_t output) = 0;
    virtual bool SetDriver(int32_t driver) = 0;
    virtual bool GetDriverCaps(int32_t driver, uint32_t& caps) = 0;
    virtual bool Init(int32_t mixRate, int32_t maxChannels, uint32_t flags) = 0;
    virtual void Close() = 0;
    // Applies the changes made since the last update.
    virtual void Update() = 0;
    virtual bool SetSFXMasterVolume(int32_t volume) = 0;
    // The share of real time spent mixing, in percent.
    virtual float GetCPUUsage() = 0;

    // `memory` is a whole sound file. Returns the sample handle, or None.
    virtual int32_t SampleLoad(int32_t index, std::span<const uint8_t> memory, uint32_t mode, int32_t offset) = 0;
    // Why the last SampleLoad returned None, in words for the user; empty when it did not.
    virtual std::string LastLoadError() const { return {}; }
    virtual void SampleFree(int32_t sample) = 0;
    virtual bool SampleSetMode(int32_t sample, uint32_t mode) = 0;
    virtual bool SampleSetMinMaxDistance(int32_t sample, float minDistance, float maxDistance) = 0;

    // Returns the channel handle, or None when no channel is free.
    virtual int32_t PlaySound(int32_t channel, int32_t sample) = 0;
    virtual bool StopSound(int32_t channel) = 0;
    // A paused channel still plays.
    virtual bool IsPlaying(int32_t channel) = 0;
    virtual bool SetVolume(int32_t channel, int32_t volume) = 0;
    virtual bool SetFrequency(int32_t channel, int32_t frequency) = 0;
    virtual bool SetPriority(int32_t channel, int32_t priority) = 0;
    virtual bool SetMute(int32_t channel, int8_t mute) = 0;
    virtual bool SetPaused(int32_t channel, int8_t paused) = 0;
    virtual bool Set3DAttributes(int32_t channel, const SoundVector& position, const SoundVector& velocity) = 0;

    // `forward` and `top` are the listener's facing and up vectors.
    virtual void SetListenerAttributes(const SoundVector& position, const SoundVector& velocity, float forwardX,
                                       float forwardY, float forwardZ, float topX, float topY, float topZ) = 0;
    virtual void SetDistanceFactor(float factor) = 0;
    virtual void SetRolloffFactor(float factor) = 0;
    virtual void SetDopplerFactor(float factor) = 0;
    virtual bool SetReverbProperties(const ReverbProperties& properties) = 0;
};

// The device on OpenAL Soft.
//
// DefaultOrSilent opens the default output, so that the library's own configuration is honoured;
// when no output opens (a machine without sound hardware) it mixes through a loopback device that
// a thread of its own renders at the real rate into nothing, so that sounds still end in time.
// Loopback renders only when the caller asks, for tests that listen to the mix.
// The samples it plays are those DecodeWav (wavdecode.h) decodes.
class SAUNO_PLATFORM_EXPORT OpenALSoundDevice final : public SoundDevice {
public:
    enum class Output { DefaultOrSilent, Loopback };
    explicit OpenALSoundDevice(Output output = Output::DefaultOrSilent);
    ~OpenALSoundDevice() override;

    bool SetOutput(int32_t output) override;
    bool SetDriver(int32_t driver) override;
    bool GetDriverCaps(int32_t driver, uint32_t& caps) override;
    bool Init(int32_t mixRate, int32_t maxChannels, uint32_t flags) override;
    void Close() override;
    void Update() override;
    bool SetSFXMasterVolume(int32_t volume) override;
    float GetCPUUsage() override;
    int32_t SampleLoad(int32_t index, std::span<const uint8_t> memory, uint32_t mode, int32_t offset) override;
    std::string LastLoadError() const override;
    void SampleFree(int32_t sample) override;
    bool SampleSetMode(int32_t sample, uint32_t mode) override;
    bool SampleSetMinMaxDistance(int32_t sample, float minDistance, float maxDistance) override;
    int32_t PlaySound(int32_t channel, int32_t sample) override;
    bool StopSound(int32_t channel) override;
    bool IsPlaying(int32_t channel) override;
    bool SetVolume(int32_t channel, int32_t volume) override;
    bool SetFrequency(int32_t channel, int32_t frequency) override;
    bool SetPriority(int32_t channel, int32_t priority) override;
    bool SetMute(int32_t channel, int8_t mute) override;
    bool SetPaused(int32_t channel, int8_t paused) override;
    bool Set3DAttributes(int32_t channel, const SoundVector& position, const SoundVector& velocity) override;
    void SetListenerAttributes(const SoundVector& position, const SoundVector& velocity, float forwardX, float forwardY,
                               float forwardZ, float topX, float topY, float topZ) override;
    void SetDistanceFactor(float factor) override;
    void SetRolloffFactor(float factor) override;
    void SetDopplerFactor(float factor) override;
    bool SetReverbProperties(const ReverbProperties& properties) override;

    // Whether the default output failed to open and the silent real-time output took its place.
    bool Silent() const;
    // Loopback output only: mixes the next frames into `stereo` (interleaved left, right floats).
    void RenderLoopback(std::span<float> stereo);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sauno::platform
