#pragma once
// TSMFMOD: the sound manager on the sound device of platform/. Every position, velocity and
// listener vector goes out as (x, y, -z): the scene is right-handed, the device's space left-handed.
#include <array>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "sound/export.h"
#include "platform/sounddevice.h"
#include "sound/soundmanager.h"

namespace sauno {

// Where activation gets its device; the default makes the OpenAL Soft device. A factory that
// returns null makes activation fail, as a missing sound library would.
using TSoundDeviceFactory = std::function<std::unique_ptr<platform::SoundDevice>()>;
SAUNO_SOUND_EXPORT void SetSoundDeviceFactory(TSoundDeviceFactory factory);  // empty restores the default

// The reverb of each environment, in the enumeration's order.
SAUNO_SOUND_EXPORT const std::array<platform::ReverbProperties, SoundEnvironmentCount>& ReverbPresets();

// Volume 0..1 as the device's 0..255, to the nearest whole number with ties to even.
SAUNO_SOUND_EXPORT int32_t DeviceVolume(float volume);
// A scene vector in the device's space.
SAUNO_SOUND_EXPORT platform::SoundVector DeviceVector(const TVector4& v);

class SAUNO_SOUND_EXPORT TSMFMOD : public TSoundManager {
public:
    explicit TSMFMOD(TComponent* owner);
    ~TSMFMOD() override;

    void ReleaseSource(TBaseSoundSource& source) override;
    bool RefreshSource(TBaseSoundSource& source) override;
    void SetSourceMuted(TBaseSoundSource& source, bool mute) override;
    void SetSourcePaused(TBaseSoundSource& source, bool pause) override;
    void RefreshAllSources() override;
    float CpuUsage() override;
    bool HasReverbSupport() override { return reverbSupport_; }
    platform::SoundDevice* Device() const { return device_.get(); }

protected:
    // Raises "Failed to retrieve driver Caps." and "FSOUND_Init failed."; fails silently otherwise.
    bool StartBackEnd() override;
    void StopBackEnd() override;
    void ApplyMasterVolume() override;
    void Apply3DFactors() override;
    void ApplyEnvironment() override;

private:
    // A sample the device cannot play: the user is told once, and its source is freed.
    void ReportUnplayable(TBaseSoundSource& source, const TSoundSample& sample);

    std::unique_ptr<platform::SoundDevice> device_;
    std::set<std::string> unplayableReported_;
    bool initialised_ = false;
    bool reverbSupport_ = false;
};

}  // namespace sauno
