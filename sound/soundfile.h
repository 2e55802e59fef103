#pragma once
// Sound files as the scene description stores them: the complete bytes of one file with the
// sampling read from its header. The bytes are never decoded here; the sound device gets them whole.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sound/export.h"
#include "runtime/component.h"

namespace sauno {

class TSoundFile;

class SAUNO_SOUND_EXPORT TSoundSampling : public TPersistent {
public:
    explicit TSoundSampling(TSoundFile* owner) : owner_(owner) {}
    TSoundFile* Owner() const { return owner_; }
    int32_t Frequency = 22050;
    int32_t NbChannels = 1;
    int32_t BitsPerSample = 8;
    // 32-bit arithmetic that wraps, as a header with absurd values may ask for.
    int32_t BytesPerSecond() const
    {
        return static_cast<int32_t>(uint32_t(Frequency) * uint32_t(BitsPerSample) * uint32_t(NbChannels)) / 8;
    }
    int32_t BytesPerSample() const { return BitsPerSample / 8; }

private:
    TSoundFile* owner_;
};

class SAUNO_SOUND_EXPORT TSoundFile : public TPersistent {
public:
    TSoundFile() : sampling_(this) {}
    ~TSoundFile() override = default;
    TSoundFile(const TSoundFile&) = delete;
    TSoundFile& operator=(const TSoundFile&) = delete;

    TSoundSampling& Sampling() { return sampling_; }
    const TSoundSampling& Sampling() const { return sampling_; }

    // The complete stored file, as handed to the sound engine.
    virtual std::span<const uint8_t> FileBytes() const = 0;
    size_t FileSize() const { return FileBytes().size(); }
    virtual std::span<const uint8_t> SampleData() const = 0;
    virtual size_t SampleDataSize() const = 0;
    int64_t SampleCount() const;
    // SampleDataSize ÷ BytesPerSecond.
    virtual float Duration() const;

    // Reads the file from `stream` and returns how many bytes it took; raises on bad data.
    virtual size_t LoadFromStream(std::span<const uint8_t> stream) = 0;
    virtual void SaveToStream(std::vector<uint8_t>& out) const;
    virtual std::unique_ptr<TSoundFile> Clone() const = 0;
    virtual const char* ClassName() const = 0;
    // Plays the file through the system's own output, outside the sound manager.
    virtual void PlayOnWaveOut() const = 0;

protected:
    TSoundSampling sampling_;
};

// The RIFF-WAVE format record: the first 18 bytes of the "fmt " chunk.
struct SAUNO_SOUND_EXPORT TWaveFormat {
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint16_t ExtraSize = 0;
};

class SAUNO_SOUND_EXPORT TWAVFile : public TSoundFile {
public:
    std::span<const uint8_t> FileBytes() const override { return data_; }
    std::span<const uint8_t> SampleData() const override;
    size_t SampleDataSize() const override;
    int32_t SampleDataOffset() const { return dataOffset_; }
    const TWaveFormat& WaveFormat() const { return format_; }
    // The frame count of the first "fact" chunk before "data", or -1 without one.
    int64_t FactSampleCount() const { return factSamples_; }
    // A compressed format without bits per sample (GSM 6.10, for one) takes its length from the
    // "fact" chunk's frame count; every other file as the base says.
    float Duration() const override;

    // Scans the chunks up to "data". Raises "RIFF required", "RIFF-WAVE required", or, for a
    // file whose chunks end (or run past the bytes present) before any "data" chunk,
    // "WAV file without a data chunk"; the file then keeps no data.
    size_t LoadFromStream(std::span<const uint8_t> stream) override;
    std::unique_ptr<TSoundFile> Clone() const override;
    const char* ClassName() const override { return "TWAVFile"; }
    void PlayOnWaveOut() const override;

private:
    TWaveFormat format_;
    int32_t dataOffset_ = 0;
    int64_t factSamples_ = -1;
    std::vector<uint8_t> data_;
};

class SAUNO_SOUND_EXPORT TMP3File : public TSoundFile {
public:
    std::span<const uint8_t> FileBytes() const override { return data_; }
    std::span<const uint8_t> SampleData() const override { return {}; }
    size_t SampleDataSize() const override { return 0; }
    size_t LoadFromStream(std::span<const uint8_t> stream) override;
    std::unique_ptr<TSoundFile> Clone() const override;
    const char* ClassName() const override { return "TMP3File"; }
    // Raises "MP3 playback on WaveOut not supported.".
    void PlayOnWaveOut() const override;

private:
    std::vector<uint8_t> data_;
};

// The process-wide registry of sound-file formats, by extension (stored lower-case).
struct SAUNO_SOUND_EXPORT TSoundFileFormat {
    std::string Extension;
    std::string Description;
    int DescResID = 0;
    std::string ClassName;
};
class SAUNO_SOUND_EXPORT TSoundFileFormatsList {
public:
    static TSoundFileFormatsList& Instance();
    void Add(std::string_view extension, std::string_view description, int descResID, std::string_view className);
    // Exact match on the lower-cased extension; null if none.
    const TSoundFileFormat* FindExt(std::string_view extension) const;
    const std::vector<TSoundFileFormat>& Formats() const { return formats_; }

private:
    TSoundFileFormatsList();
    std::vector<TSoundFileFormat> formats_;
};

// Sound-file classes by class name ("TWAVFile", "TMP3File"); null for an unknown name.
SAUNO_SOUND_EXPORT std::unique_ptr<TSoundFile> CreateSoundFile(std::string_view className);

}  // namespace sauno
