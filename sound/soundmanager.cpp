#include "sound/soundmanager.h"

#include <algorithm>
#include <cstring>

#include "engine/camera.h"
#include "platform/exception.h"
#include "platform/messagebox.h"

namespace sauno {

namespace {

TSoundManager* activeManager = nullptr;

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
float ClampAngle(float v) { return v < 0 ? 0 : (v > 360 ? 360 : v); }

void PutInt(std::vector<uint8_t>& out, int32_t v)
{
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<uint8_t>(uint32_t(v) >> s));
}
void PutFloat(std::vector<uint8_t>& out, float f)
{
    int32_t v;
    std::memcpy(&v, &f, 4);
    PutInt(out, v);
}
void PutString(std::vector<uint8_t>& out, const std::string& s)
{
    PutInt(out, static_cast<int32_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}
void PutBool(std::vector<uint8_t>& out, bool b) { out.push_back(b ? 1 : 0); }

void Need(std::span<const uint8_t> in, size_t pos, size_t n)
{
    if (pos > in.size() || in.size() - pos < n) throw Exception("Invalid sound source data: truncated");
}
int32_t GetInt(std::span<const uint8_t> in, size_t& pos)
{
    Need(in, pos, 4);
    const uint8_t* p = in.data() + pos;
    pos += 4;
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
}
float GetFloat(std::span<const uint8_t> in, size_t& pos)
{
    int32_t v = GetInt(in, pos);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}
std::string GetString(std::span<const uint8_t> in, size_t& pos)
{
    const int32_t n = GetInt(in, pos);
    if (n < 0) throw Exception("Invalid sound source data: bad string");
    Need(in, pos, static_cast<size_t>(n));
    std::string s(in.begin() + static_cast<ptrdiff_t>(pos), in.begin() + static_cast<ptrdiff_t>(pos) + n);
    pos += static_cast<size_t>(n);
    return s;
}
bool GetBool(std::span<const uint8_t> in, size_t& pos)
{
    Need(in, pos, 1);
    return in[pos++] != 0;
}

}  // namespace

TSoundManager* ActiveSoundManager() { return activeManager; }

// ---- Sources ------------------------------------------------------------------------------

TBaseSoundSource::~TBaseSoundSource()
{
    if (BehaviourToNotify) BehaviourToNotify->NotifySourceFreed(this);
    if (TSoundManager* m = Manager()) {
        try {
            m->ReleaseSource(*this);
        } catch (const std::exception&) {
            // A channel that cannot be stopped any more is left to the device.
        }
    }
}

TSoundManager* TBaseSoundSource::Manager() const { return collection_ ? collection_->Owner() : nullptr; }

void TBaseSoundSource::SetPriority(int32_t v)
{
    if (v != priority_) {
        priority_ = v;
        changes_ |= scStatus;
    }
}
void TBaseSoundSource::SetOrigin(TBaseSceneObject* v)
{
    origin_ = v;
    changes_ |= scOrigin;
}
#define SAUNO_STATUS_SETTER(Name, field, fix) \
    void TBaseSoundSource::Set##Name(float v) \
    {                                         \
        v = fix(v);                           \
        if (v != field) {                     \
            field = v;                        \
            changes_ |= scStatus;             \
        }                                     \
    }
SAUNO_STATUS_SETTER(Volume, volume_, Clamp01)
SAUNO_STATUS_SETTER(MinDistance, minDistance_, [](float x) { return x < 0 ? 0.0f : x; })
SAUNO_STATUS_SETTER(MaxDistance, maxDistance_, [](float x) { return x < 0 ? 0.0f : x; })
SAUNO_STATUS_SETTER(InsideConeAngle, insideConeAngle_, ClampAngle)
SAUNO_STATUS_SETTER(OutsideConeAngle, outsideConeAngle_, ClampAngle)
SAUNO_STATUS_SETTER(ConeOutsideVolume, coneOutsideVolume_, Clamp01)
#undef SAUNO_STATUS_SETTER

void TBaseSoundSource::SetFrequency(int32_t v)
{
    if (v != frequency_) {
        frequency_ = v;
        changes_ |= scStatus;
    }
}

TSoundLibrary* TBaseSoundSource::SoundLibrary()
{
    // A library that has been destroyed is not used; it is looked for again by name.
    const auto& all = SoundLibraries();
    if (library_ && std::find(all.begin(), all.end(), library_) == all.end()) library_ = nullptr;
    if (!library_ && !libraryName_.empty()) library_ = GetSoundLibraryByName(libraryName_);
    return library_;
}

void TBaseSoundSource::SetSoundLibrary(TSoundLibrary* v)
{
    if (v != library_) {
        library_ = v;
        libraryName_ = v ? v->Name() : std::string();
        changes_ |= scSample;
    }
}

void TBaseSoundSource::SetSoundName(const std::string& v)
{
    if (v != soundName_) {
        soundName_ = v;
        changes_ |= scSample;
    }
}

void TBaseSoundSource::SetNbLoops(int32_t v)
{
    if (v != nbLoops_) {
        nbLoops_ = v;
        changes_ |= scSample;
    }
}

void TBaseSoundSource::SetMute(bool v)
{
    if (v == mute_) return;
    mute_ = v;
    if (TSoundManager* m = Manager()) m->SetSourceMuted(*this, v);
}

void TBaseSoundSource::SetPause(bool v)
{
    if (v == pause_) return;
    pause_ = v;
    if (TSoundManager* m = Manager()) m->SetSourcePaused(*this, v);
}

TSoundSample* TBaseSoundSource::Sample()
{
    TSoundLibrary* library = SoundLibrary();
    return library ? library->Samples().GetByName(soundName_) : nullptr;
}

void TBaseSoundSource::Assign(const TBaseSoundSource& o)
{
    if (&o == this) return;
    priority_ = o.priority_;
    origin_ = o.origin_;
    volume_ = o.volume_;
    minDistance_ = o.minDistance_;
    maxDistance_ = o.maxDistance_;
    insideConeAngle_ = o.insideConeAngle_;
    outsideConeAngle_ = o.outsideConeAngle_;
    coneOutsideVolume_ = o.coneOutsideVolume_;
    libraryName_ = o.libraryName_;
    library_ = o.library_;
    soundName_ = o.soundName_;
    mute_ = o.mute_;
    pause_ = o.pause_;
    nbLoops_ = o.nbLoops_;
    frequency_ = o.frequency_;
    changes_ = scAll;
}

void TBaseSoundSource::WriteToFiler(std::vector<uint8_t>& out) const
{
    PutInt(out, 0);
    PutInt(out, priority_);
    for (float f : {volume_, minDistance_, maxDistance_, insideConeAngle_, outsideConeAngle_, coneOutsideVolume_})
        PutFloat(out, f);
    PutString(out, library_ ? library_->Name() : libraryName_);
    PutString(out, soundName_);
    PutBool(out, mute_);
    PutBool(out, pause_);
    PutInt(out, nbLoops_);
}

void TBaseSoundSource::ReadFromFiler(std::span<const uint8_t> in, size_t& pos)
{
    if (GetInt(in, pos) != 0) throw Exception("Invalid sound source data: unknown version");
    priority_ = GetInt(in, pos);
    volume_ = GetFloat(in, pos);
    minDistance_ = GetFloat(in, pos);
    maxDistance_ = GetFloat(in, pos);
    insideConeAngle_ = GetFloat(in, pos);
    outsideConeAngle_ = GetFloat(in, pos);
    coneOutsideVolume_ = GetFloat(in, pos);
    libraryName_ = GetString(in, pos);
    library_ = nullptr;
    soundName_ = GetString(in, pos);
    mute_ = GetBool(in, pos);
    pause_ = GetBool(in, pos);
    nbLoops_ = GetInt(in, pos);
    changes_ = scAll;
}

TSoundSource& TSoundSources::Add()
{
    items_.push_back(std::make_unique<TSoundSource>(this));
    return *items_.back();
}

void TSoundSources::Delete(TBaseSoundSource* source)
{
    auto it = std::find_if(items_.begin(), items_.end(), [source](const auto& p) { return p.get() == source; });
    if (it == items_.end()) return;
    std::unique_ptr<TSoundSource> doomed = std::move(*it);
    items_.erase(it);
    doomed.reset();
}

void TSoundSources::Clear()
{
    while (!items_.empty()) Delete(items_.back().get());
}

// ---- Manager ------------------------------------------------------------------------------

TSoundManager::TSoundManager(TComponent* owner)
    : TCadenceAbleComponent(owner), sources_(std::make_unique<TSoundSources>(this))
{
}

TSoundManager::~TSoundManager()
{
    Deactivate();
    SetListener(nullptr);
    SetCadencer(nullptr);
    sources_->Clear();
}

void TSoundManager::Deactivate()
{
    if (active_) SetActive(false);
    if (activeManager == this) activeManager = nullptr;
}

void TSoundManager::SetActive(bool v)
{
    if (Loading()) {
        active_ = v;
        return;
    }
    if (v == active_) return;
    if (v) {
        if (activeManager && activeManager != this) activeManager->SetActive(false);
        if (StartBackEnd()) {
            active_ = true;
            activeManager = this;
        }
        return;
    }
    struct Finally {
        TSoundManager* m;
        ~Finally()
        {
            m->active_ = false;
            if (activeManager == m) activeManager = nullptr;
        }
    } finally{this};
    sources_->Clear();
    StopBackEnd();
}

void TSoundManager::Loaded()
{
    const bool wanted = active_;
    TCadenceAbleComponent::Loaded();
    if (wanted) {
        active_ = false;
        SetActive(true);
    }
}

void TSoundManager::SetMute(bool v)
{
    if (v == mute_) return;
    if (!v) {
        UnMuteAll();
        mute_ = false;
    } else if (MuteAll()) {
        mute_ = true;
    }
}

void TSoundManager::SetPause(bool v)
{
    if (v == pause_) return;
    if (!v) {
        ResumeAll();
        pause_ = false;
    } else if (PauseAll()) {
        pause_ = true;
    }
}

// Mute and pause of the whole manager reach every source that is not muted or paused itself.
bool TSoundManager::MuteAll() { return ApplyToFreeSources(&TBaseSoundSource::Mute, &TSoundManager::SetSourceMuted, true); }
bool TSoundManager::UnMuteAll()
{
    return ApplyToFreeSources(&TBaseSoundSource::Mute, &TSoundManager::SetSourceMuted, false);
}
bool TSoundManager::PauseAll()
{
    return ApplyToFreeSources(&TBaseSoundSource::Pause, &TSoundManager::SetSourcePaused, true);
}
bool TSoundManager::ResumeAll()
{
    return ApplyToFreeSources(&TBaseSoundSource::Pause, &TSoundManager::SetSourcePaused, false);
}

bool TSoundManager::ApplyToFreeSources(bool (TBaseSoundSource::*own)() const,
                                       void (TSoundManager::*set)(TBaseSoundSource&, bool), bool value)
{
    for (int i = 0; i < sources_->Count(); ++i)
        if (!(sources_->Items(i).*own)()) (this->*set)(sources_->Items(i), value);
    return true;
}

void TSoundManager::SetMasterVolume(float v)
{
    masterVolume_ = Clamp01(v);
    ApplyMasterVolume();
}

void TSoundManager::SetListener(TBaseSceneObject* v)
{
    if (v == listener_) return;
    if (listener_) RemoveFreeNotification(listener_);
    listener_ = v;
    if (listener_) FreeNotification(listener_);
}

void TSoundManager::SetUpdateFrequency(float v) { updateFrequency_ = v < 1 ? 1 : (v > 60 ? 60 : v); }

void TSoundManager::SetCadencer(TCadencer* v)
{
    if (v == cadencer_) return;
    if (cadencer_) cadencer_->Unsubscribe(this);
    cadencer_ = v;
    if (cadencer_) cadencer_->Subscribe(this);
}

void TSoundManager::SetDistanceFactor(float v)
{
    distanceFactor_ = v <= 0 ? 1 : v;
    Apply3DFactors();
}
void TSoundManager::SetRollOffFactor(float v)
{
    rollOffFactor_ = v <= 0 ? 1 : v;
    Apply3DFactors();
}
void TSoundManager::SetDopplerFactor(float v)
{
    dopplerFactor_ = v < 0 ? 0 : (v > 10 ? 10 : v);
    Apply3DFactors();
}
void TSoundManager::SetEnvironment(TSoundEnvironment v)
{
    if (v == environment_) return;
    environment_ = v;
    ApplyEnvironment();
}

void TSoundManager::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove) {
        if (component == listener_) SetListener(nullptr);
        if (component == cadencer_) SetCadencer(nullptr);
    }
    TCadenceAbleComponent::Notification(component, operation);
}

void TSoundManager::DoProgress(const ProgressTimes& times)
{
    if (!active_) return;
    const double d = times.newTime - static_cast<double>(lastUpdateTime_);
    if (d <= 1.0 / updateFrequency_) return;
    lastDeltaTime_ = static_cast<float>(d);
    lastUpdateTime_ = static_cast<float>(times.newTime);
    RefreshAllSources();
}

void TSoundManager::ReleaseSource(TBaseSoundSource&) {}

bool TSoundManager::RefreshSource(TBaseSoundSource& source)
{
    source.ClearChanges();
    return false;
}

void TSoundManager::SetSourceMuted(TBaseSoundSource&, bool) {}
void TSoundManager::SetSourcePaused(TBaseSoundSource&, bool) {}

void TSoundManager::RefreshAllSources()
{
    // From the last to the first, so that a source freed on the way disturbs none still to come.
    for (int i = sources_->Count() - 1; i >= 0; --i)
        if (i < sources_->Count()) RefreshSource(sources_->Items(i));
}

float TSoundManager::CpuUsage() { return -1; }

TListenerFrame TSoundManager::ListenerFrame()
{
    TListenerFrame f;
    if (!listener_) return f;
    f.position = listener_->AbsolutePosition();
    if (lastDeltaTime_ != 0) f.velocity = MulScalar(Sub(f.position, lastListenerPosition_), 1.0f / lastDeltaTime_);
    f.velocity.w = 0;
    lastListenerPosition_ = f.position;
    auto* camera = dynamic_cast<TCamera*>(listener_);
    if (camera && camera->TargetObject()) {
        TVector4 d = Sub(camera->TargetObject()->AbsolutePosition(), f.position);
        d.w = 0;
        f.direction = Normalize(d);
        f.up = Cross(Cross(f.direction, camera->AbsoluteUp()), f.direction);
    } else {
        f.direction = listener_->AbsoluteDirection();
        f.up = listener_->AbsoluteUp();
    }
    return f;
}

// ---- Emitter ------------------------------------------------------------------------------

// An item's name starts as its class's display name.
TBSoundEmitter::TBSoundEmitter(TBehaviours& owner) : TBehaviour(owner) { Name = FriendlyName(); }

TBSoundEmitter::~TBSoundEmitter()
{
    if (playingSource_) {
        TSoundSource* s = playingSource_;
        playingSource_ = nullptr;
        s->BehaviourToNotify = nullptr;
        if (s->Collection()) s->Collection()->Delete(s);
    }
}

void TBSoundEmitter::SetPlaying(bool value)
{
    TSoundManager* manager = ActiveSoundManager();
    if (!manager) {
        platform::ShowMessageBox("Sauno", "No Active Sound Manager.\r\nMake sure manager is created before emitter",
                                 platform::MessageKind::Information);
        return;
    }
    if (value == Playing()) return;
    if (value) {
        TSoundSource& s = manager->Sources().Add();
        s.BehaviourToNotify = this;
        s.Assign(source_);
        s.SetOrigin(OwnerBaseSceneObject());
        playingSource_ = &s;
    } else {
        TSoundSource* s = playingSource_;
        if (s->Collection()) s->Collection()->Delete(s);
        playingSource_ = nullptr;
    }
}

void TBSoundEmitter::NotifySourceFreed(TBaseSoundSource* source)
{
    if (source == playingSource_) playingSource_ = nullptr;
}

void TBSoundEmitter::Loaded()
{
    if (storedPlaying_ != Playing()) SetPlaying(storedPlaying_);
}

std::vector<uint8_t> TBSoundEmitter::WriteToFiler() const
{
    std::vector<uint8_t> out;
    PutString(out, Name);
    PutInt(out, 0);
    source_.WriteToFiler(out);
    PutBool(out, Playing());
    return out;
}

void TBSoundEmitter::ReadFromFiler(std::span<const uint8_t> in)
{
    size_t pos = 0;
    std::string name = GetString(in, pos);
    if (GetInt(in, pos) != 0) throw Exception("Invalid sound emitter data: unknown version");
    TSoundSource fresh;
    fresh.ReadFromFiler(in, pos);
    const bool playing = GetBool(in, pos);
    Name = std::move(name);
    source_.Assign(fresh);
    storedPlaying_ = playing;
}

}  // namespace sauno
