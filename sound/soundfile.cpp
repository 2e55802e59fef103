#include "sound/soundfile.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/exception.h"
#include "platform/riffchunks.h"
#include "platform/sounddevice.h"

namespace sauno {

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

int64_t TSoundFile::SampleCount() const
{
    const int64_t divisor = int64_t(sampling_.BytesPerSample()) * sampling_.NbChannels;
    return divisor > 0 ? static_cast<int64_t>(SampleDataSize()) / divisor : 0;
}

float TSoundFile::Duration() const
{
    // Floating-point division, so a zero rate gives an infinity or NaN rather than an error.
    return static_cast<float>(static_cast<double>(SampleDataSize()) / static_cast<double>(sampling_.BytesPerSecond()));
}

void TSoundFile::SaveToStream(std::vector<uint8_t>& out) const
{
    std::span<const uint8_t> bytes = FileBytes();
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::span<const uint8_t> TWAVFile::SampleData() const
{
    return std::span<const uint8_t>(data_).subspan(std::min<size_t>(size_t(dataOffset_), data_.size()));
}

size_t TWAVFile::SampleDataSize() const { return data_.size() - std::min<size_t>(size_t(dataOffset_), data_.size()); }

size_t TWAVFile::LoadFromStream(std::span<const uint8_t> stream)
{
    data_.clear();
    dataOffset_ = 0;
    factSamples_ = -1;
    format_ = {};
    if (stream.size() < 8 || std::memcmp(stream.data(), "RIFF", 4) != 0) throw Exception("RIFF required");
    if (stream.size() < 12 || std::memcmp(stream.data() + 8, "WAVE", 4) != 0) throw Exception("RIFF-WAVE required");
    // The walk never leaves the RIFF data nor the bytes present.
    platform::RiffChunkWalker walker(stream);
    const uint64_t end = walker.End();
    bool formatRead = false, factRead = false, found = false;
    platform::RiffChunk chunk;
    while (walker.Next(chunk)) {
        const uint8_t* body = stream.data() + chunk.body;
        if (chunk.id == "fmt " && !formatRead && format_.FormatTag == 0) {
            uint8_t record[18] = {};
            std::memcpy(record, body, std::min<uint64_t>(chunk.available, 18));
            format_.FormatTag = uint16_t(record[0] | record[1] << 8);
            format_.Channels = uint16_t(record[2] | record[3] << 8);
            format_.SamplesPerSec = Le32(record + 4);
            format_.AvgBytesPerSec = Le32(record + 8);
            format_.BlockAlign = uint16_t(record[12] | record[13] << 8);
            format_.BitsPerSample = uint16_t(record[14] | record[15] << 8);
            format_.ExtraSize = uint16_t(record[16] | record[17] << 8);
            formatRead = true;
        } else if (chunk.id == "fact" && !factRead && chunk.available >= 4) {
            factRead = true;
            factSamples_ = Le32(body);
        } else if (chunk.id == "data") {
            dataOffset_ = static_cast<int32_t>(chunk.body);
            found = true;
            break;
        }
    }
    // Giving up at the scan limit leaves the offset at 0: the whole file counts as sample data.
    if (!found && walker.AtScanLimit()) found = true;
    if (!found) {
        format_ = {};
        dataOffset_ = 0;
        factSamples_ = -1;
        throw Exception("WAV file without a data chunk");
    }
    // A RIFF size beyond the bytes present keeps what is there.
    data_.assign(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(end));
    sampling_.Frequency = static_cast<int32_t>(format_.SamplesPerSec);
    sampling_.NbChannels = format_.Channels;
    sampling_.BitsPerSample = format_.BitsPerSample;
    return data_.size();
}

float TWAVFile::Duration() const
{
    if (sampling_.BitsPerSample == 0 && factSamples_ >= 0 && sampling_.Frequency > 0)
        return static_cast<float>(static_cast<double>(factSamples_) / sampling_.Frequency);
    return TSoundFile::Duration();
}

std::unique_ptr<TSoundFile> TWAVFile::Clone() const
{
    auto copy = std::make_unique<TWAVFile>();
    copy->format_ = format_;
    copy->dataOffset_ = dataOffset_;
    copy->factSamples_ = factSamples_;
    copy->data_ = data_;
    copy->sampling_.Frequency = sampling_.Frequency;
    copy->sampling_.NbChannels = sampling_.NbChannels;
    copy->sampling_.BitsPerSample = sampling_.BitsPerSample;
    return copy;
}

void TWAVFile::PlayOnWaveOut() const
{
    // One process-wide output that plays the last file handed to it while the caller goes on.
    static std::mutex lock;
    static std::unique_ptr<platform::OpenALSoundDevice> device;
    static int32_t sample = platform::sound::None;
    std::lock_guard<std::mutex> guard(lock);
    if (!device) {
        auto fresh = std::make_unique<platform::OpenALSoundDevice>();
        if (!fresh->Init(44100, 1, 0)) return;
        device = std::move(fresh);
    }
    if (sample != platform::sound::None) device->SampleFree(sample);
    sample = device->SampleLoad(platform::sound::Free, data_, platform::sound::LoadFromMemory | platform::sound::LoopOff, 0);
    if (sample != platform::sound::None) device->PlaySound(platform::sound::Free, sample);
}

size_t TMP3File::LoadFromStream(std::span<const uint8_t> stream)
{
    data_.assign(stream.begin(), stream.end());
    return data_.size();
}

std::unique_ptr<TSoundFile> TMP3File::Clone() const
{
    auto copy = std::make_unique<TMP3File>();
    copy->data_ = data_;
    return copy;
}

void TMP3File::PlayOnWaveOut() const { throw Exception("MP3 playback on WaveOut not supported."); }

TSoundFileFormatsList& TSoundFileFormatsList::Instance()
{
    static TSoundFileFormatsList list;
    return list;
}

TSoundFileFormatsList::TSoundFileFormatsList()
{
    Add("wav", "Windows WAV files", 0, "TWAVFile");
    Add("mp3", "MPEG Layer3 files", 0, "TMP3File");
}

void TSoundFileFormatsList::Add(std::string_view extension, std::string_view description, int descResID,
                                std::string_view className)
{
    formats_.push_back({Lower(extension), std::string(description), descResID, std::string(className)});
}

const TSoundFileFormat* TSoundFileFormatsList::FindExt(std::string_view extension) const
{
    const std::string ext = Lower(extension);
    for (const auto& f : formats_)
        if (f.Extension == ext) return &f;
    return nullptr;
}

std::unique_ptr<TSoundFile> CreateSoundFile(std::string_view className)
{
    if (className == "TWAVFile") return std::make_unique<TWAVFile>();
    if (className == "TMP3File") return std::make_unique<TMP3File>();
    return nullptr;
}

}  // namespace sauno
