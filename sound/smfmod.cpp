#include "sound/smfmod.h"

#include <cmath>
#include <cstdio>

#include "platform/exception.h"

namespace sauno {

namespace sd = platform::sound;

namespace {

TSoundDeviceFactory& Factory()
{
    static TSoundDeviceFactory factory;
    return factory;
}

struct Record : TSoundBackEndData {
    int32_t channel = sd::None;
    int32_t sample = sd::None;
};

}  // namespace

void SetSoundDeviceFactory(TSoundDeviceFactory factory) { Factory() = std::move(factory); }

int32_t DeviceVolume(float volume) { return static_cast<int32_t>(std::nearbyint(volume * 255.0f)); }

platform::SoundVector DeviceVector(const TVector4& v) { return {v.x, v.y, -v.z}; }

TSMFMOD::TSMFMOD(TComponent* owner) : TSoundManager(owner) { maxChannels_ = 32; }

TSMFMOD::~TSMFMOD() { Deactivate(); }

bool TSMFMOD::StartBackEnd()
{
    device_ = Factory() ? Factory()() : std::make_unique<platform::OpenALSoundDevice>();
    if (!device_) return false;
    auto fail = [this] {
        device_.reset();
        return false;
    };
    if (!device_->SetOutput(2)) return fail();
    if (!device_->SetDriver(0)) return fail();
    uint32_t caps = 0;
    if (!device_->GetDriverCaps(0, caps)) {
        fail();
        throw Exception("Failed to retrieve driver Caps.");
    }
    reverbSupport_ = (caps & (sd::CapsReverb2 | sd::CapsReverb3)) != 0;
    if (!device_->Init(OutputFrequency(), MaxChannels(), 0)) {
        fail();
        reverbSupport_ = false;
        throw Exception("FSOUND_Init failed.");
    }
    initialised_ = true;
    ApplyMasterVolume();
    Apply3DFactors();
    if (Environment() != TSoundEnvironment::seDefault) ApplyEnvironment();
    return true;
}

void TSMFMOD::StopBackEnd()
{
    if (device_) {
        device_->StopSound(sd::AllChannels);
        device_->Close();
        device_.reset();
    }
    reverbSupport_ = false;
    initialised_ = false;
}

void TSMFMOD::ApplyMasterVolume()
{
    if (initialised_) device_->SetSFXMasterVolume(DeviceVolume(MasterVolume()));
}

void TSMFMOD::Apply3DFactors()
{
    if (!initialised_) return;
    device_->SetDistanceFactor(DistanceFactor());
    device_->SetRolloffFactor(RollOffFactor());
    device_->SetDopplerFactor(DopplerFactor());
}

void TSMFMOD::ApplyEnvironment()
{
    if (initialised_ && reverbSupport_) device_->SetReverbProperties(ReverbPresets()[size_t(Environment())]);
}

void TSMFMOD::RefreshAllSources()
{
    if (!initialised_) return;
    const TListenerFrame frame = ListenerFrame();
    const platform::SoundVector position = DeviceVector(frame.position), velocity = DeviceVector(frame.velocity),
                                direction = DeviceVector(frame.direction), up = DeviceVector(frame.up);
    device_->SetListenerAttributes(position, velocity, direction.x, direction.y, direction.z, up.x, up.y, up.z);
    for (int i = Sources().Count() - 1; i >= 0; --i)
        if (i < Sources().Count()) RefreshSource(Sources().Items(i));
    device_->Update();
}

bool TSMFMOD::RefreshSource(TBaseSoundSource& source)
{
    if (!initialised_) return false;
    TSoundSample* sample = source.Sample();
    if (!sample || !sample->Data() || sample->Data()->FileSize() == 0) return false;
    auto* record = static_cast<Record*>(source.ManagerData.get());
    if (record) {
        if (!device_->IsPlaying(record->channel)) {
            record->channel = sd::None;
            Sources().Delete(&source);
            return false;
        }
    } else {
        auto fresh = std::make_unique<Record>();
        fresh->sample =
            device_->SampleLoad(sd::Free, sample->Data()->FileBytes(), sd::LoadFromMemory | sd::Hardware3D | sd::LoopOff, 0);
        if (fresh->sample == sd::None) {
            ReportUnplayable(source, *sample);
            Sources().Delete(&source);
            return false;
        }
        if (source.NbLoops() > 1) device_->SampleSetMode(fresh->sample, sd::LoopNormal);
        device_->SampleSetMinMaxDistance(fresh->sample, source.MinDistance(), source.MaxDistance());
        record = fresh.get();
        source.ManagerData = std::move(fresh);
    }
    const TVector4 origin = source.Origin() ? source.Origin()->AbsolutePosition() : TVector4{0, 0, 0, 1};
    const platform::SoundVector position = DeviceVector(origin), velocity{};
    if (record->channel == sd::None) record->channel = device_->PlaySound(sd::Free, record->sample);
    if (record->channel == sd::None) {
        Sources().Delete(&source);
        return false;
    }
    device_->Set3DAttributes(record->channel, position, velocity);
    device_->SetVolume(record->channel, DeviceVolume(source.Volume()));
    device_->SetPriority(record->channel, source.Priority());
    if (source.Frequency() >= 1) device_->SetFrequency(record->channel, source.Frequency());
    source.ClearChanges();
    return true;
}

void TSMFMOD::ReleaseSource(TBaseSoundSource& source)
{
    std::unique_ptr<TSoundBackEndData> data = std::move(source.ManagerData);
    auto* record = static_cast<Record*>(data.get());
    if (!record || !device_) return;
    bool stopped = true;
    if (record->channel != sd::None) stopped = device_->StopSound(record->channel);
    device_->SampleFree(record->sample);
    if (!stopped) throw Exception("Failed to stop the sound");
}

void TSMFMOD::SetSourceMuted(TBaseSoundSource& source, bool mute)
{
    if (auto* record = static_cast<Record*>(source.ManagerData.get()); record && device_)
        device_->SetMute(record->channel, mute ? -1 : 0);
}

void TSMFMOD::SetSourcePaused(TBaseSoundSource& source, bool pause)
{
    if (auto* record = static_cast<Record*>(source.ManagerData.get()); record && device_)
        device_->SetPaused(record->channel, pause ? -1 : 0);
}

float TSMFMOD::CpuUsage() { return device_ ? device_->GetCPUUsage() : 0; }

// A sound that cannot be played is left out, as a sample the device refuses is: during play
// no dialog may stop the game for it. One line on standard error says why, once per sample,
// since a game may ask for the same sound again and again.
void TSMFMOD::ReportUnplayable(TBaseSoundSource& source, const TSoundSample& sample)
{
    std::string key = source.SoundLibrary() ? source.SoundLibrary()->Name() : source.SoundLibraryName();
    key += '\n';
    for (char c : sample.Name) key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    if (!unplayableReported_.insert(key).second) return;
    std::string why = device_->LastLoadError();
    if (why.empty()) why = "the sound device refused it";
    const std::string line = "Cannot play the sound \"" + sample.Name + "\": " + why + "\n";
    std::fputs(line.c_str(), stderr);
}

}  // namespace sauno
