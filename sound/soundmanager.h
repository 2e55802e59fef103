#pragma once
// The back-end-neutral half of positional sound: the manager with its sources, following a
// listener and updated a few times per second by the cadencer, and the emitter behaviour that
// puts a copy of its template source into the active manager.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sound/export.h"
#include "engine/behaviours.h"
#include "engine/cadencer.h"
#include "engine/scene.h"
#include "engine/updatable.h"
#include "engine/vectors.h"
#include "sound/soundlibrary.h"

namespace sauno {

class TSoundManager;
class TSoundSources;
class TBSoundEmitter;

enum class TSoundEnvironment : uint8_t {
    seDefault, sePaddedCell, seRoom, seBathroom, seLivingRoom, seStoneroom, seAuditorium, seConcertHall, seCave,
    seArena, seHangar, seCarpetedHallway, seHallway, seStoneCorridor, seAlley, seForest, seCity, seMountains, seQuarry,
    sePlain, seParkingLot, seSewerPipe, seUnderWater, seDrugged, seDizzy, sePsychotic
};
constexpr int SoundEnvironmentCount = 26;

// Change flags of a source.
enum : uint8_t { scOrigin = 1, scSample = 2, scStatus = 4, scAll = 7 };

// What a back-end hangs on a source while it plays.
struct SAUNO_SOUND_EXPORT TSoundBackEndData {
    virtual ~TSoundBackEndData() = default;
};

class SAUNO_SOUND_EXPORT TBaseSoundSource : public TPersistent {
public:
    explicit TBaseSoundSource(TSoundSources* collection = nullptr) : collection_(collection) {}
    // Tells the emitter, then the manager's back-end, that the source goes.
    ~TBaseSoundSource() override;
    TBaseSoundSource(const TBaseSoundSource&) = delete;
    TBaseSoundSource& operator=(const TBaseSoundSource&) = delete;

    TSoundSources* Collection() const { return collection_; }
    TSoundManager* Manager() const;

    int32_t Priority() const { return priority_; }
    void SetPriority(int32_t v);
    TBaseSceneObject* Origin() const { return origin_; }
    void SetOrigin(TBaseSceneObject* v);
    float Volume() const { return volume_; }
    void SetVolume(float v);
    float MinDistance() const { return minDistance_; }
    void SetMinDistance(float v);
    float MaxDistance() const { return maxDistance_; }
    void SetMaxDistance(float v);
    float InsideConeAngle() const { return insideConeAngle_; }
    void SetInsideConeAngle(float v);
    float OutsideConeAngle() const { return outsideConeAngle_; }
    void SetOutsideConeAngle(float v);
    float ConeOutsideVolume() const { return coneOutsideVolume_; }
    void SetConeOutsideVolume(float v);
    // Found by the stored library name when not set (or when the set one has gone).
    TSoundLibrary* SoundLibrary();
    void SetSoundLibrary(TSoundLibrary* v);
    const std::string& SoundLibraryName() const { return libraryName_; }
    const std::string& SoundName() const { return soundName_; }
    void SetSoundName(const std::string& v);
    bool Mute() const { return mute_; }
    void SetMute(bool v);
    bool Pause() const { return pause_; }
    void SetPause(bool v);
    int32_t NbLoops() const { return nbLoops_; }
    void SetNbLoops(int32_t v);
    int32_t Frequency() const { return frequency_; }
    void SetFrequency(int32_t v);

    uint8_t Changes() const { return changes_; }
    void ClearChanges() { changes_ = 0; }
    // The library's sample named SoundName (case ignored), or null.
    TSoundSample* Sample();

    // Copies everything but the emitter link and the back-end data, and sets all change flags.
    void Assign(const TBaseSoundSource& other);

    // The stored form: integer 0, Priority, the six floats, library name, SoundName, Mute, Pause,
    // NbLoops. Reading raises on truncated data.
    void WriteToFiler(std::vector<uint8_t>& out) const;
    void ReadFromFiler(std::span<const uint8_t> in, size_t& pos);

    TBSoundEmitter* BehaviourToNotify = nullptr;
    std::unique_ptr<TSoundBackEndData> ManagerData;

private:
    friend class TSoundSources;
    TSoundSources* collection_;
    int32_t priority_ = 0;
    TBaseSceneObject* origin_ = nullptr;
    float volume_ = 1;
    float minDistance_ = 1;
    float maxDistance_ = 100;
    float insideConeAngle_ = 360;
    float outsideConeAngle_ = 360;
    float coneOutsideVolume_ = 0;
    std::string libraryName_;
    TSoundLibrary* library_ = nullptr;
    std::string soundName_;
    bool mute_ = false;
    bool pause_ = false;
    uint8_t changes_ = scAll;
    int32_t nbLoops_ = 1;
    int32_t frequency_ = -1;
};

class SAUNO_SOUND_EXPORT TSoundSource : public TBaseSoundSource {
public:
    using TBaseSoundSource::TBaseSoundSource;
};

class SAUNO_SOUND_EXPORT TSoundSources : public TPersistent {
public:
    explicit TSoundSources(TSoundManager* owner) : owner_(owner) {}
    ~TSoundSources() override { Clear(); }
    TSoundSources(const TSoundSources&) = delete;
    TSoundSources& operator=(const TSoundSources&) = delete;
    TSoundManager* Owner() const { return owner_; }
    TSoundSource& Add();
    int Count() const { return static_cast<int>(items_.size()); }
    TSoundSource& Items(int i) const { return *items_.at(static_cast<size_t>(i)); }
    // Frees `source`: it leaves the collection, its emitter forgets it, the back-end releases it.
    void Delete(TBaseSoundSource* source);
    // Frees every source, from the last to the first.
    void Clear();

private:
    TSoundManager* owner_;
    std::vector<std::unique_ptr<TSoundSource>> items_;
};

struct SAUNO_SOUND_EXPORT TListenerFrame {
    TVector4 position{0, 0, 0, 1};
    TVector4 velocity{0, 0, 0, 0};
    TVector4 direction{0, 0, 1, 0};
    TVector4 up{0, 1, 0, 0};
};

class SAUNO_SOUND_EXPORT TSoundManager : public TCadenceAbleComponent {
public:
    explicit TSoundManager(TComponent* owner);
    // Deactivates, clears the listener and frees the sources.
    ~TSoundManager() override;

    bool Active() const { return active_; }
    void SetActive(bool v);
    int32_t MaxChannels() const { return maxChannels_; }
    void SetMaxChannels(int32_t v) { maxChannels_ = v < 1 ? 1 : v; }
    int32_t OutputFrequency() const { return outputFrequency_; }
    void SetOutputFrequency(int32_t v) { outputFrequency_ = v < 11025 ? 11025 : v; }
    bool Mute() const { return mute_; }
    void SetMute(bool v);
    bool Pause() const { return pause_; }
    void SetPause(bool v);
    float MasterVolume() const { return masterVolume_; }
    void SetMasterVolume(float v);
    TBaseSceneObject* Listener() const { return listener_; }
    void SetListener(TBaseSceneObject* v);
    TSoundSources& Sources() { return *sources_; }
    float UpdateFrequency() const { return updateFrequency_; }
    void SetUpdateFrequency(float v);
    TCadencer* Cadencer() const { return cadencer_; }
    void SetCadencer(TCadencer* v);
    float DistanceFactor() const { return distanceFactor_; }
    void SetDistanceFactor(float v);
    float RollOffFactor() const { return rollOffFactor_; }
    void SetRollOffFactor(float v);
    float DopplerFactor() const { return dopplerFactor_; }
    void SetDopplerFactor(float v);
    TSoundEnvironment Environment() const { return environment_; }
    void SetEnvironment(TSoundEnvironment v);
    float LastUpdateTime() const { return lastUpdateTime_; }
    float LastDeltaTime() const { return lastDeltaTime_; }

    // The update throttle: RefreshAllSources once more than 1 / UpdateFrequency has passed.
    void DoProgress(const ProgressTimes& times) override;
    virtual void ReleaseSource(TBaseSoundSource& source);
    virtual bool RefreshSource(TBaseSoundSource& source);
    virtual void SetSourceMuted(TBaseSoundSource& source, bool mute);
    virtual void SetSourcePaused(TBaseSoundSource& source, bool pause);
    virtual void RefreshAllSources();
    virtual float CpuUsage();

    TListenerFrame ListenerFrame();
    void Loaded() override;

protected:
    virtual bool StartBackEnd() { return true; }
    virtual void StopBackEnd() { sources_->Clear(); }
    virtual bool MuteAll();
    virtual bool UnMuteAll();
    virtual bool PauseAll();
    virtual bool ResumeAll();
    virtual void ApplyMasterVolume() {}
    virtual void Apply3DFactors() {}
    virtual void ApplyEnvironment() {}
    virtual bool HasReverbSupport() { return false; }
    void Notification(TComponent* component, TOperation operation) override;
    // Derived destructors deactivate first, while their back-end is still whole.
    void Deactivate();

    int32_t maxChannels_ = 8;

private:
    bool ApplyToFreeSources(bool (TBaseSoundSource::*own)() const, void (TSoundManager::*set)(TBaseSoundSource&, bool),
                            bool value);
    bool active_ = false;
    bool mute_ = false;
    bool pause_ = false;
    float masterVolume_ = 1;
    TBaseSceneObject* listener_ = nullptr;
    TVector4 lastListenerPosition_{0, 0, 0, 0};
    std::unique_ptr<TSoundSources> sources_;
    int32_t outputFrequency_ = 44100;
    float updateFrequency_ = 10;
    float distanceFactor_ = 1;
    float rollOffFactor_ = 1;
    float dopplerFactor_ = 1;
    TSoundEnvironment environment_ = TSoundEnvironment::seDefault;
    float lastUpdateTime_ = -1e30f;
    float lastDeltaTime_ = 0;
    TCadencer* cadencer_ = nullptr;
};

// The one active manager of the process, or null.
SAUNO_SOUND_EXPORT TSoundManager* ActiveSoundManager();

class SAUNO_SOUND_EXPORT TBSoundEmitter : public TBehaviour {
public:
    explicit TBSoundEmitter(TBehaviours& owner);
    ~TBSoundEmitter() override;

    static const char* FriendlyName() { return "Sound Emitter"; }
    static const char* FriendlyDescription() { return "A simple sound emitter behaviour"; }

    // The template; Source = x copies x into it.
    TSoundSource& Source() { return source_; }
    void SetSource(const TBaseSoundSource& value) { source_.Assign(value); }
    bool Playing() const { return playingSource_ != nullptr; }
    // Without an active manager shows "No Active Sound Manager.\r\nMake sure manager is created
    // before emitter" and changes nothing.
    void SetPlaying(bool value);
    TSoundSource* PlayingSource() const { return playingSource_; }
    void Loaded() override;
    void NotifySourceFreed(TBaseSoundSource* source);

    // The stored form: the behaviour's name, integer 0, the template's stored form, Playing.
    std::vector<uint8_t> WriteToFiler() const;
    void ReadFromFiler(std::span<const uint8_t> in);

private:
    TSoundSource source_;
    TSoundSource* playingSource_ = nullptr;
    bool storedPlaying_ = false;
};

}  // namespace sauno
