// sauno-inspect sound FILE [--render OUT.wav]: the file read as a sound file of its extension, as
// a sample would hold it; with --render, also what the game's sound device makes of it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/sounddevice.h"
#include "platform/wavdecode.h"
#include "sound/smfmod.h"
#include "sound/soundlibrary.h"
#include "tools/sauno-inspect/inspect.h"

namespace sauno::inspect {

namespace {

namespace sd = platform::sound;

void Put16(std::vector<uint8_t>& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Put32(std::vector<uint8_t>& b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }

// A 16-bit stereo RIFF-WAVE file, written beside its destination first so that a failed write
// leaves nothing that looks finished.
void WriteStereoWav(const std::filesystem::path& out, int32_t rate, const std::vector<int16_t>& samples)
{
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F'};
    Put32(b, 36 + dataBytes);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(b, 16), Put16(b, 1), Put16(b, 2), Put32(b, uint32_t(rate)), Put32(b, uint32_t(rate) * 4), Put16(b, 4), Put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, dataBytes);
    for (int16_t s : samples) Put16(b, uint16_t(s));
    std::filesystem::path partial = out;
    partial += ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        file.close();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            throw Exception("Cannot write " + out.string());
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, out, error);
    if (error) {
        std::filesystem::remove(partial, error);
        throw Exception("Cannot write " + out.string());
    }
}

// The sample played once through the loopback output at its own rate, as the game's back-end
// plays a source of volume 1 at the listener: a default listener, the source where it stands.
size_t Render(std::span<const uint8_t> file, const std::filesystem::path& out, int32_t& rate)
{
    const platform::DecodedWav decoded = platform::DecodeWav(file);
    rate = decoded.rate;
    platform::OpenALSoundDevice device(platform::OpenALSoundDevice::Output::Loopback);
    if (!device.Init(decoded.rate, 1, 0)) throw Exception("Cannot render at " + std::to_string(decoded.rate) + " Hz");
    const int32_t sample = device.SampleLoad(sd::Free, file, sd::LoadFromMemory | sd::Hardware3D | sd::LoopOff, 0);
    if (sample == sd::None) throw Exception(device.LastLoadError());
    device.SampleSetMinMaxDistance(sample, 1, 100);
    device.SetListenerAttributes({}, {}, 0, 0, 1, 0, 1, 0);
    const int32_t channel = device.PlaySound(sd::Free, sample);
    device.Set3DAttributes(channel, {}, {});
    device.SetVolume(channel, DeviceVolume(1));
    device.Update();
    const size_t frames = decoded.Frames();
    std::vector<int16_t> samples(frames * 2);
    std::vector<float> mix(4096 * 2);
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min<size_t>(4096, frames - done);
        device.RenderLoopback(std::span<float>(mix).first(n * 2));
        for (size_t i = 0; i < n * 2; ++i)
            samples[done * 2 + i] = static_cast<int16_t>(std::lround(std::clamp(mix[i], -1.0f, 1.0f) * 32767.0f));
        done += n;
    }
    device.Close();
    WriteStereoWav(out, decoded.rate, samples);
    return frames;
}

}  // namespace

int Sound(std::string_view fileName, std::optional<std::string_view> renderTo)
{
    try {
        const std::filesystem::path path{std::string(fileName)};
        std::string extension = path.extension().string();
        if (!extension.empty()) extension.erase(0, 1);
        const TSoundFileFormat* format = TSoundFileFormatsList::Instance().FindExt(extension);
        if (!format) throw Exception("Unknown sound file extension \"" + extension + "\"");
        std::ifstream in(path, std::ios::binary);
        if (!in) throw Exception("File not found");
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad()) throw Exception("Cannot read " + path.string());
        std::unique_ptr<TSoundFile> file = CreateSoundFile(format->ClassName);
        file->LoadFromStream(bytes);
        TSoundSample sample;
        sample.Name = path.filename().string();
        sample.SetData(file.get());
        const auto* wav = dynamic_cast<const TWAVFile*>(file.get());
        std::printf("offset %d\ndatasize %zu\nsamplecount %lld\nduration %.2f\nname %s\n",
                    wav ? wav->SampleDataOffset() : 0, file->SampleDataSize(),
                    static_cast<long long>(file->SampleCount()), static_cast<double>(file->Duration()),
                    sample.DisplayName().c_str());
        if (renderTo) {
            const std::filesystem::path out{std::string(*renderTo)};
            int32_t rate = 0;
            const size_t frames = Render(bytes, out, rate);
            std::printf("render %s (%zu frames, %d Hz, 16 bits, 2 channels)\n", out.string().c_str(), frames, rate);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

}  // namespace sauno::inspect
