// The sound device on OpenAL Soft: RIFF files decoded to PCM buffers, one AL source per channel,
// inverse-distance attenuation clamped between each sample's distances, reverb through EFX.
//
// Init's channel count is the number of voices, the sounds heard at once. There are twice as
// many channels, so that a sound asking to play on a full device can wait on a channel of its
// own until its priority is known (SetPriority or the next Update): then either it takes the
// voice of the least important sound, if that one's priority is lower, or it gives way itself.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception.h"
#include "platform/sounddevice.h"
#include "platform/wavdecode.h"

namespace sauno::platform {

namespace {

// Channel handles carry a use count above the channel's index, so that a handle goes stale when
// its channel is given to another sound.
constexpr int32_t IndexBits = 12;
constexpr int32_t IndexMask = (1 << IndexBits) - 1;
constexpr int32_t MaxChannelLimit = 256;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The share of real time spent mixing, in percent: busy time over real time, both summed with
// weights that fade over about a second, so that each stretch counts by how long it lasted.
class CpuMeter {
public:
    void Add(double busySeconds, double realSeconds)
    {
        if (!(realSeconds > 0)) return;
        const double keep = std::exp(-realSeconds / SmoothingSeconds);
        busy_ = busy_ * keep + busySeconds;
        real_ = real_ * keep + realSeconds;
        percent_ = static_cast<float>(100.0 * busy_ / real_);
    }
    float Percent() const { return percent_; }
    void Reset()
    {
        busy_ = real_ = 0;
        percent_ = 0;
    }

private:
    static constexpr double SmoothingSeconds = 1.0;
    double busy_ = 0, real_ = 0;
    std::atomic<float> percent_{0};
};

// The threads of this process, by kernel thread id.
std::vector<long> ThreadIds()
{
    std::vector<long> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ids.push_back(std::strtol(entry->d_name, nullptr, 10));
        closedir(dir);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The CPU time a thread of this process has used, in seconds; 0 once it has gone.
double ThreadCpuSeconds(long id)
{
    std::ifstream in("/proc/self/task/" + std::to_string(id) + "/schedstat");
    unsigned long long nanoseconds = 0;
    return in >> nanoseconds ? static_cast<double>(nanoseconds) / 1e9 : 0.0;
}


float GainOfMillibels(float mB) { return std::pow(10.0f, mB / 2000.0f); }

// The sound library prints its complaints about a missing sound card straight to the terminal;
// while the default output is tried they are silenced (and put back afterwards).
extern "C" void QuietSoundLibraryError(const char*, int, const char*, int, const char*, ...) {}
using ErrorHandlerSetter = int (*)(void (*)(const char*, int, const char*, int, const char*, ...));

class QuietSoundLibrary {
public:
    QuietSoundLibrary()
    {
        library_ = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
        if (!library_) library_ = dlopen("libasound.so.2", RTLD_LAZY);
        if (library_) setter_ = reinterpret_cast<ErrorHandlerSetter>(dlsym(library_, "snd_lib_error_set_handler"));
        if (setter_) setter_(QuietSoundLibraryError);
    }
    ~QuietSoundLibrary()
    {
        if (setter_) setter_(nullptr);
        if (library_) dlclose(library_);
    }
    QuietSoundLibrary(const QuietSoundLibrary&) = delete;
    QuietSoundLibrary& operator=(const QuietSoundLibrary&) = delete;

private:
    void* library_ = nullptr;
    ErrorHandlerSetter setter_ = nullptr;
};

template <class F>
F Extension(ALCdevice* device, const char* name)
{
    return reinterpret_cast<F>(alcGetProcAddress(device, name));
}
template <class F>
F AlExtension(const char* name)
{
    return reinterpret_cast<F>(alGetProcAddress(name));
}

}  // namespace

struct OpenALSoundDevice::Impl {
    struct Sample {
        ALuint buffer = 0;
        int32_t rate = 0;
        uint32_t mode = 0;
        float minDistance = 1;
        float maxDistance = 1e9f;
    };
    struct Channel {
        ALuint source = 0;
        int32_t uses = 0;
        int32_t sample = sound::None;
        int32_t volume = 255;
        int32_t priority = 0;
        bool muted = false;
        bool paused = false;
        bool pending = false;    // asked to play on a full device; waits for its priority
        uint64_t requested = 0;  // when it last asked to play, for ties
    };

    Output output;
    bool silent = false;
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    LPALCRENDERSAMPLESSOFT render = nullptr;
    int32_t mixRate = 44100;
    std::vector<std::optional<Sample>> samples;
    std::vector<Channel> channels;
    int32_t voices = 0;
    uint64_t requests = 0;
    std::string loadError;
    float rolloff = 1;
    // Reverb through an auxiliary effect slot, when the device has EFX.
    bool efx = false;
    ALuint effect = 0, slot = 0;
    // The silent output's renderer.
    std::thread renderer;
    std::atomic<bool> stopRenderer{false};
    // Mixing time: timed around our own renders, or read from the library's own mixing threads.
    CpuMeter cpu;
    std::vector<long> libraryThreads;
    double libraryCpuSeconds = 0;
    Clock::time_point libraryMeasured{};

    bool Initialised() const { return context != nullptr; }

    Channel* ChannelOf(int32_t handle)
    {
        if (!Initialised() || handle < 0) return nullptr;
        const int32_t index = handle & IndexMask;
        if (index >= static_cast<int32_t>(channels.size())) return nullptr;
        Channel& c = channels[static_cast<size_t>(index)];
        return (handle >> IndexBits) == c.uses ? &c : nullptr;
    }
    bool ValidIndex(int32_t handle) const
    {
        return handle >= 0 && (handle & IndexMask) < static_cast<int32_t>(channels.size());
    }
    Sample* SampleOf(int32_t handle)
    {
        if (!Initialised() || handle < 0 || handle >= static_cast<int32_t>(samples.size())) return nullptr;
        auto& s = samples[static_cast<size_t>(handle)];
        return s ? &*s : nullptr;
    }
    bool Busy(const Channel& c) const
    {
        ALint state = AL_STOPPED;
        alGetSourcei(c.source, AL_SOURCE_STATE, &state);
        return state == AL_PLAYING || state == AL_PAUSED;
    }
    bool InUse(const Channel& c) const { return c.sample != sound::None && (c.pending || Busy(c)); }
    bool Audible(const Channel& c) const { return c.sample != sound::None && !c.pending && Busy(c); }
    int32_t AudibleCount() const
    {
        return static_cast<int32_t>(std::count_if(channels.begin(), channels.end(), [this](const Channel& c) { return Audible(c); }));
    }
    void Start(Channel& c)
    {
        c.pending = false;
        alSourcePlay(c.source);
        if (c.paused) alSourcePause(c.source);
    }
    // A waiting sound takes a free voice, or the voice of the least important sound (the one that
    // asked first among equals) when that one's priority is lower; otherwise it gives way.
    void Arbitrate(Channel& c)
    {
        if (!c.pending) return;
        if (AudibleCount() < voices) return Start(c);
        Channel* weakest = nullptr;
        for (Channel& o : channels)
            if (Audible(o) && (!weakest || o.priority < weakest->priority ||
                               (o.priority == weakest->priority && o.requested < weakest->requested)))
                weakest = &o;
        if (weakest && weakest->priority < c.priority) {
            Silence(*weakest);
            Start(c);
        } else {
            Silence(c);
        }
    }
    void ArbitrateAll()
    {
        for (;;) {
            Channel* next = nullptr;
            for (Channel& c : channels)
                if (c.pending && (!next || c.priority > next->priority ||
                                  (c.priority == next->priority && c.requested < next->requested)))
                    next = &c;
            if (!next) return;
            Arbitrate(*next);
        }
    }
    // The library's own mixing threads, measured at most ten times a second.
    void MeasureLibraryThreads()
    {
        if (libraryThreads.empty()) return;
        const auto now = Clock::now();
        const double real = Seconds(now - libraryMeasured);
        if (real < 0.1) return;
        double used = 0;
        for (long id : libraryThreads) used += ThreadCpuSeconds(id);
        cpu.Add(std::max(0.0, used - libraryCpuSeconds), real);
        libraryCpuSeconds = used;
        libraryMeasured = now;
    }
    void ApplyGain(Channel& c) { alSourcef(c.source, AL_GAIN, c.muted ? 0.0f : static_cast<float>(c.volume) / 255.0f); }
    void Silence(Channel& c)
    {
        alSourceStop(c.source);
        alSourcei(c.source, AL_BUFFER, 0);
        c.sample = sound::None;
        c.paused = false;
        c.pending = false;
    }

    bool OpenDefault(int32_t rate, int32_t maxChannels)
    {
        const std::vector<long> before = ThreadIds();
        {
            QuietSoundLibrary quiet;
            device = alcOpenDevice(nullptr);
        }
        if (!device) return false;
        const ALCint attributes[] = {ALC_FREQUENCY, rate, ALC_MONO_SOURCES, maxChannels, 0};
        context = alcCreateContext(device, attributes);
        if (!context) {
            alcCloseDevice(device);
            device = nullptr;
            return false;
        }
        // The threads the library started for this output are the ones that mix it.
        libraryThreads.clear();
        for (long id : ThreadIds())
            if (!std::binary_search(before.begin(), before.end(), id)) libraryThreads.push_back(id);
        libraryCpuSeconds = 0;
        for (long id : libraryThreads) libraryCpuSeconds += ThreadCpuSeconds(id);
        libraryMeasured = Clock::now();
        return true;
    }

    bool OpenLoopback(int32_t rate, int32_t maxChannels)
    {
        auto open = Extension<LPALCLOOPBACKOPENDEVICESOFT>(nullptr, "alcLoopbackOpenDeviceSOFT");
        if (!open) return false;
        device = open(nullptr);
        if (!device) return false;
        render = Extension<LPALCRENDERSAMPLESSOFT>(device, "alcRenderSamplesSOFT");
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                     ALC_FREQUENCY,            rate,            ALC_MONO_SOURCES,     maxChannels,
                                     ALC_HRTF_SOFT,            ALC_FALSE,       0};
        context = render ? alcCreateContext(device, attributes) : nullptr;
        if (!context) {
            alcCloseDevice(device);
            device = nullptr;
            return false;
        }
        return true;
    }

    // Renders the silent output in steps of about 10 ms, keeping pace with the clock.
    void StartRenderer()
    {
        stopRenderer = false;
        renderer = std::thread([this] {
            const int frames = std::max(1, mixRate / 100);
            std::vector<float> buffer(static_cast<size_t>(frames) * 2);
            const auto start = Clock::now();
            int64_t rendered = 0;
            while (!stopRenderer) {
                const int64_t due = static_cast<int64_t>(Seconds(Clock::now() - start) * mixRate);
                if (rendered + frames > due) {
                    // Until the next step is due (at most one step), not polling in between.
                    const double wait = std::min(0.01, static_cast<double>(rendered + frames - due) / mixRate);
                    std::this_thread::sleep_for(std::chrono::duration<double>(wait));
                    continue;
                }
                Render(buffer.data(), frames);
                rendered += frames;
            }
        });
    }

    // Mixes `frames` stereo frames, timing the work against the real time they stand for.
    void Render(float* stereo, int frames)
    {
        const auto before = Clock::now();
        render(device, stereo, frames);
        cpu.Add(Seconds(Clock::now() - before), static_cast<double>(frames) / mixRate);
    }

    void SetUpEffects()
    {
        efx = alcIsExtensionPresent(device, "ALC_EXT_EFX") == ALC_TRUE;
        if (!efx) return;
        auto genEffects = AlExtension<LPALGENEFFECTS>("alGenEffects");
        auto effecti = AlExtension<LPALEFFECTI>("alEffecti");
        auto genSlots = AlExtension<LPALGENAUXILIARYEFFECTSLOTS>("alGenAuxiliaryEffectSlots");
        if (!genEffects || !effecti || !genSlots) {
            efx = false;
            return;
        }
        alGetError();
        genEffects(1, &effect);
        effecti(effect, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
        genSlots(1, &slot);
        if (alGetError() != AL_NO_ERROR) efx = false;
    }

    void TearDownEffects()
    {
        if (!efx) return;
        for (Channel& c : channels) alSource3i(c.source, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
        if (auto deleteSlots = AlExtension<LPALDELETEAUXILIARYEFFECTSLOTS>("alDeleteAuxiliaryEffectSlots"))
            deleteSlots(1, &slot);
        if (auto deleteEffects = AlExtension<LPALDELETEEFFECTS>("alDeleteEffects")) deleteEffects(1, &effect);
        slot = effect = 0;
        efx = false;
    }

    void Close()
    {
        if (renderer.joinable()) {
            stopRenderer = true;
            renderer.join();
        }
        if (context) {
            for (Channel& c : channels) Silence(c);
            TearDownEffects();
            for (Channel& c : channels) alDeleteSources(1, &c.source);
            for (auto& s : samples)
                if (s) alDeleteBuffers(1, &s->buffer);
            alcMakeContextCurrent(nullptr);
            alcDestroyContext(context);
        }
        if (device) alcCloseDevice(device);
        channels.clear();
        samples.clear();
        context = nullptr;
        device = nullptr;
        render = nullptr;
        silent = false;
        voices = 0;
        libraryThreads.clear();
        cpu.Reset();
    }
};

OpenALSoundDevice::OpenALSoundDevice(Output output) : impl_(std::make_unique<Impl>())
{
    impl_->output = output;
}

OpenALSoundDevice::~OpenALSoundDevice() { impl_->Close(); }

// Any output and driver stand for OpenAL Soft's choice of back-end.
bool OpenALSoundDevice::SetOutput(int32_t) { return !impl_->Initialised(); }
bool OpenALSoundDevice::SetDriver(int32_t driver) { return !impl_->Initialised() && driver == 0; }

bool OpenALSoundDevice::GetDriverCaps(int32_t driver, uint32_t& caps)
{
    if (driver != 0) return false;
    // Every OpenAL Soft device offers EFX, so the question needs no device yet.
    caps = alcIsExtensionPresent(nullptr, "ALC_EXT_EFX") == ALC_TRUE || impl_->output == Output::Loopback
               ? sound::CapsReverb2 | sound::CapsReverb3
               : 0;
    return true;
}

bool OpenALSoundDevice::Init(int32_t mixRate, int32_t maxChannels, uint32_t)
{
    Impl& d = *impl_;
    if (d.Initialised() || mixRate < 8000 || mixRate > 192000 || maxChannels < 1) return false;
    maxChannels = std::min(maxChannels, MaxChannelLimit);
    // The library's own diagnostics stay off the terminal unless the user asks for them.
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    d.mixRate = mixRate;
    bool opened = false;
    if (d.output == Output::DefaultOrSilent) {
        opened = d.OpenDefault(mixRate, 2 * maxChannels);
        if (!opened) {
            opened = d.OpenLoopback(mixRate, 2 * maxChannels);
            d.silent = opened;
        }
    } else {
        opened = d.OpenLoopback(mixRate, 2 * maxChannels);
    }
    if (!opened) return false;
    if (!alcMakeContextCurrent(d.context)) {
        d.Close();
        return false;
    }
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    alGetError();
    for (int32_t i = 0; i < 2 * maxChannels; ++i) {
        Impl::Channel c;
        alGenSources(1, &c.source);
        if (alGetError() != AL_NO_ERROR) break;
        d.channels.push_back(c);
    }
    if (d.channels.size() < 2) {
        d.Close();
        return false;
    }
    d.voices = static_cast<int32_t>(d.channels.size() / 2);
    d.SetUpEffects();
    if (d.silent) d.StartRenderer();
    return true;
}

void OpenALSoundDevice::Close() { impl_->Close(); }

void OpenALSoundDevice::Update()
{
    Impl& d = *impl_;
    if (!d.Initialised()) return;
    d.ArbitrateAll();
    d.MeasureLibraryThreads();
    alcProcessContext(d.context);
}

bool OpenALSoundDevice::SetSFXMasterVolume(int32_t volume)
{
    if (!impl_->Initialised()) return false;
    alListenerf(AL_GAIN, static_cast<float>(std::clamp(volume, 0, 255)) / 255.0f);
    return true;
}

float OpenALSoundDevice::GetCPUUsage()
{
    impl_->MeasureLibraryThreads();
    return impl_->cpu.Percent();
}

std::string OpenALSoundDevice::LastLoadError() const { return impl_->loadError; }

int32_t OpenALSoundDevice::SampleLoad(int32_t index, std::span<const uint8_t> memory, uint32_t mode, int32_t offset)
{
    Impl& d = *impl_;
    d.loadError.clear();
    if (!d.Initialised()) return d.loadError = "the sound device is not initialised", sound::None;
    if (offset < 0 || static_cast<size_t>(offset) > memory.size())
        return d.loadError = "the offset lies outside the file", sound::None;
    DecodedWav pcm;
    try {
        pcm = DecodeWav(memory.subspan(static_cast<size_t>(offset)));
    } catch (const Exception& e) {
        d.loadError = e.what();
        return sound::None;
    }
    if (index < 0) {
        index = 0;
        while (index < static_cast<int32_t>(d.samples.size()) && d.samples[static_cast<size_t>(index)]) ++index;
    } else if (index > 4095) {
        return d.loadError = "no such sample slot", sound::None;
    }
    if (index >= static_cast<int32_t>(d.samples.size())) d.samples.resize(static_cast<size_t>(index) + 1);
    SampleFree(index);
    Impl::Sample s;
    alGetError();
    alGenBuffers(1, &s.buffer);
    alBufferData(s.buffer, pcm.channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16, pcm.samples.data(),
                 static_cast<ALsizei>(pcm.samples.size() * sizeof(int16_t)), pcm.rate);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &s.buffer);
        return d.loadError = "the sound library refused the samples", sound::None;
    }
    s.rate = pcm.rate;
    s.mode = mode;
    d.samples[static_cast<size_t>(index)] = s;
    return index;
}

void OpenALSoundDevice::SampleFree(int32_t sample)
{
    Impl& d = *impl_;
    Impl::Sample* s = d.SampleOf(sample);
    if (!s) return;
    for (Impl::Channel& c : d.channels)
        if (c.sample == sample) d.Silence(c);
    alDeleteBuffers(1, &s->buffer);
    d.samples[static_cast<size_t>(sample)].reset();
}

bool OpenALSoundDevice::SampleSetMode(int32_t sample, uint32_t mode)
{
    Impl::Sample* s = impl_->SampleOf(sample);
    if (!s) return false;
    s->mode = (s->mode & ~(sound::LoopOff | sound::LoopNormal)) | (mode & (sound::LoopOff | sound::LoopNormal));
    return true;
}

bool OpenALSoundDevice::SampleSetMinMaxDistance(int32_t sample, float minDistance, float maxDistance)
{
    Impl::Sample* s = impl_->SampleOf(sample);
    if (!s || !(minDistance >= 0) || !(maxDistance >= 0)) return false;
    s->minDistance = minDistance;
    s->maxDistance = std::max(minDistance, maxDistance);
    return true;
}

int32_t OpenALSoundDevice::PlaySound(int32_t channel, int32_t sample)
{
    Impl& d = *impl_;
    Impl::Sample* s = d.SampleOf(sample);
    if (!s) return sound::None;
    int32_t index = -1;
    if (channel == sound::Free) {
        for (size_t i = 0; i < d.channels.size() && index < 0; ++i)
            if (!d.InUse(d.channels[i])) index = static_cast<int32_t>(i);
    } else if (d.ValidIndex(channel)) {
        index = channel & IndexMask;
    }
    if (index < 0) return sound::None;
    Impl::Channel& c = d.channels[static_cast<size_t>(index)];
    d.Silence(c);
    c.uses = (c.uses + 1) & ((1 << (31 - IndexBits)) - 1);
    c.sample = sample;
    c.volume = 255;
    c.priority = 0;
    c.muted = false;
    c.requested = ++d.requests;
    alSourcei(c.source, AL_BUFFER, static_cast<ALint>(s->buffer));
    alSourcei(c.source, AL_LOOPING, (s->mode & sound::LoopNormal) ? AL_TRUE : AL_FALSE);
    alSourcef(c.source, AL_REFERENCE_DISTANCE, s->minDistance);
    alSourcef(c.source, AL_MAX_DISTANCE, s->maxDistance);
    alSourcef(c.source, AL_ROLLOFF_FACTOR, d.rolloff);
    alSourcef(c.source, AL_PITCH, 1.0f);
    alSource3f(c.source, AL_POSITION, 0, 0, 0);
    alSource3f(c.source, AL_VELOCITY, 0, 0, 0);
    if (d.efx) alSource3i(c.source, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(d.slot), 0, AL_FILTER_NULL);
    d.ApplyGain(c);
    // On a full device the sound waits for its priority before it is heard.
    if (d.AudibleCount() < d.voices)
        d.Start(c);
    else
        c.pending = true;
    return (c.uses << IndexBits) | index;
}

bool OpenALSoundDevice::StopSound(int32_t channel)
{
    Impl& d = *impl_;
    if (!d.Initialised()) return false;
    if (channel == sound::AllChannels) {
        for (Impl::Channel& c : d.channels) d.Silence(c);
        return true;
    }
    if (!d.ValidIndex(channel)) return false;
    // A stale handle's sound has already stopped: nothing is left to stop.
    if (Impl::Channel* c = d.ChannelOf(channel)) d.Silence(*c);
    return true;
}

bool OpenALSoundDevice::IsPlaying(int32_t channel)
{
    Impl::Channel* c = impl_->ChannelOf(channel);
    return c && impl_->InUse(*c);
}

bool OpenALSoundDevice::SetVolume(int32_t channel, int32_t volume)
{
    Impl::Channel* c = impl_->ChannelOf(channel);
    if (!c) return false;
    c->volume = std::clamp(volume, 0, 255);
    impl_->ApplyGain(*c);
    return true;
}

bool OpenALSoundDevice::SetFrequency(int32_t channel, int32_t frequency)
{
    Impl::Channel* c = impl_->ChannelOf(channel);
    Impl::Sample* s = c ? impl_->SampleOf(c->sample) : nullptr;
    if (!s || frequency < 1) return false;
    alSourcef(c->source, AL_PITCH, static_cast<float>(frequency) / static_cast<float>(s->rate));
    return true;
}

bool OpenALSoundDevice::SetPriority(int32_t channel, int32_t priority)
{
    Impl::Channel* c = impl_->ChannelOf(channel);
    if (!c) return false;
    c->priority = priority;
    impl_->Arbitrate(*c);
    return true;
}

bool OpenALSoundDevice::SetMute(int32_t channel, int8_t mute)
{
    Impl::Channel* c = impl_->ChannelOf(channel);
    if (!c) return false;
    c->muted = mute != 0;
    impl_->ApplyGain(*c);
    return true;
}

bool OpenALSoundDevice::SetPaused(int32_t channel, int8_t paused)
{
    Impl::Channel* c = impl_->ChannelOf(channel);
    if (!c || c->sample == sound::None) return false;
    ALint state = AL_STOPPED;
    alGetSourcei(c->source, AL_SOURCE_STATE, &state);
    if (paused && state == AL_PLAYING) alSourcePause(c->source);
    if (!paused && state == AL_PAUSED) alSourcePlay(c->source);
    c->paused = paused != 0;
    return true;
}

// The device's left-handed vectors become OpenAL's right-handed ones by negating z.
bool OpenALSoundDevice::Set3DAttributes(int32_t channel, const SoundVector& position, const SoundVector& velocity)
{
    Impl::Channel* c = impl_->ChannelOf(channel);
    if (!c) return false;
    alSource3f(c->source, AL_POSITION, position.x, position.y, -position.z);
    alSource3f(c->source, AL_VELOCITY, velocity.x, velocity.y, -velocity.z);
    return true;
}

void OpenALSoundDevice::SetListenerAttributes(const SoundVector& position, const SoundVector& velocity, float forwardX,
                                              float forwardY, float forwardZ, float topX, float topY, float topZ)
{
    if (!impl_->Initialised()) return;
    alListener3f(AL_POSITION, position.x, position.y, -position.z);
    alListener3f(AL_VELOCITY, velocity.x, velocity.y, -velocity.z);
    const ALfloat orientation[] = {forwardX, forwardY, -forwardZ, topX, topY, -topZ};
    alListenerfv(AL_ORIENTATION, orientation);
}

void OpenALSoundDevice::SetDistanceFactor(float factor)
{
    // Units per metre: sound travels as many units per second.
    if (impl_->Initialised() && factor > 0) alSpeedOfSound(343.3f * factor);
}

void OpenALSoundDevice::SetRolloffFactor(float factor)
{
    Impl& d = *impl_;
    if (!d.Initialised() || !(factor >= 0)) return;
    d.rolloff = factor;
    for (Impl::Channel& c : d.channels) alSourcef(c.source, AL_ROLLOFF_FACTOR, factor);
}

void OpenALSoundDevice::SetDopplerFactor(float factor)
{
    if (impl_->Initialised() && factor >= 0) alDopplerFactor(factor);
}

bool OpenALSoundDevice::SetReverbProperties(const ReverbProperties& p)
{
    Impl& d = *impl_;
    if (!d.Initialised() || !d.efx) return false;
    auto effectf = AlExtension<LPALEFFECTF>("alEffectf");
    auto effectfv = AlExtension<LPALEFFECTFV>("alEffectfv");
    auto effecti = AlExtension<LPALEFFECTI>("alEffecti");
    auto slotEffect = AlExtension<LPALAUXILIARYEFFECTSLOTI>("alAuxiliaryEffectSloti");
    if (!effectf || !effectfv || !effecti || !slotEffect) return false;
    auto clamp = [](float v, float lo, float hi) { return std::clamp(v == v ? v : lo, lo, hi); };
    alGetError();
    effectf(d.effect, AL_EAXREVERB_DENSITY, clamp(p.Density / 100.0f, 0, 1));
    effectf(d.effect, AL_EAXREVERB_DIFFUSION, clamp(p.Diffusion / 100.0f, 0, 1));
    effectf(d.effect, AL_EAXREVERB_GAIN, clamp(GainOfMillibels(float(p.Room)), 0, 1));
    effectf(d.effect, AL_EAXREVERB_GAINHF, clamp(GainOfMillibels(float(p.RoomHF)), 0, 1));
    effectf(d.effect, AL_EAXREVERB_GAINLF, clamp(GainOfMillibels(float(p.RoomLF)), 0, 1));
    effectf(d.effect, AL_EAXREVERB_DECAY_TIME, clamp(p.DecayTime, 0.1f, 20));
    effectf(d.effect, AL_EAXREVERB_DECAY_HFRATIO, clamp(p.DecayHFRatio, 0.1f, 2));
    effectf(d.effect, AL_EAXREVERB_DECAY_LFRATIO, clamp(p.DecayLFRatio, 0.1f, 2));
    effectf(d.effect, AL_EAXREVERB_REFLECTIONS_GAIN, clamp(GainOfMillibels(float(p.Reflections)), 0, 3.16f));
    effectf(d.effect, AL_EAXREVERB_REFLECTIONS_DELAY, clamp(p.ReflectionsDelay, 0, 0.3f));
    effectfv(d.effect, AL_EAXREVERB_REFLECTIONS_PAN, p.ReflectionsPan);
    effectf(d.effect, AL_EAXREVERB_LATE_REVERB_GAIN, clamp(GainOfMillibels(float(p.Reverb)), 0, 10));
    effectf(d.effect, AL_EAXREVERB_LATE_REVERB_DELAY, clamp(p.ReverbDelay, 0, 0.1f));
    effectfv(d.effect, AL_EAXREVERB_LATE_REVERB_PAN, p.ReverbPan);
    effectf(d.effect, AL_EAXREVERB_ECHO_TIME, clamp(p.EchoTime, 0.075f, 0.25f));
    effectf(d.effect, AL_EAXREVERB_ECHO_DEPTH, clamp(p.EchoDepth, 0, 1));
    effectf(d.effect, AL_EAXREVERB_MODULATION_TIME, clamp(p.ModulationTime, 0.04f, 4));
    effectf(d.effect, AL_EAXREVERB_MODULATION_DEPTH, clamp(p.ModulationDepth, 0, 1));
    effectf(d.effect, AL_EAXREVERB_AIR_ABSORPTION_GAINHF, clamp(GainOfMillibels(p.AirAbsorptionHF), 0.892f, 1));
    effectf(d.effect, AL_EAXREVERB_HFREFERENCE, clamp(p.HFReference, 1000, 20000));
    effectf(d.effect, AL_EAXREVERB_LFREFERENCE, clamp(p.LFReference, 20, 1000));
    effectf(d.effect, AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, clamp(p.RoomRolloffFactor, 0, 10));
    effecti(d.effect, AL_EAXREVERB_DECAY_HFLIMIT, (p.Flags & 0x20) ? AL_TRUE : AL_FALSE);
    slotEffect(d.slot, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(d.effect));
    return alGetError() == AL_NO_ERROR;
}

bool OpenALSoundDevice::Silent() const { return impl_->silent; }

void OpenALSoundDevice::RenderLoopback(std::span<float> stereo)
{
    Impl& d = *impl_;
    if (d.output != Output::Loopback || !d.render || !d.device) return;
    d.Render(stereo.data(), static_cast<int>(stereo.size() / 2));
}

}  // namespace sauno::platform
