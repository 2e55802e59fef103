#pragma once
// Sound samples (a name and an owned sound file), their collection and the sound library
// component, with the process-wide list of libraries.
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sound/export.h"
#include "runtime/component.h"
#include "sound/soundfile.h"

namespace sauno {

class TSoundSamples;

class SAUNO_SOUND_EXPORT TSoundSample : public TPersistent {
public:
    explicit TSoundSample(TSoundSamples* collection = nullptr) : collection_(collection) {}
    TSoundSamples* Collection() const { return collection_; }

    std::string Name;
    TSoundFile* Data() const { return data_.get(); }
    // Frees the old file and keeps a copy of `file` (none when null).
    void SetData(const TSoundFile* file);
    // Copies the name and a copy of the other's file.
    void Assign(const TSoundSample& other);
    std::string DisplayName() const;

    // The stored "BinData": 4-byte class-name length, the class name, the file's own stream form.
    // Raises "Class %s not found" for an unknown class; the sample then keeps no data.
    void ReadBinData(std::span<const uint8_t> bytes);
    std::vector<uint8_t> WriteBinData() const;
    // BinData is written only when there is data.
    bool HasBinData() const { return data_ != nullptr; }

private:
    TSoundSamples* collection_;
    std::unique_ptr<TSoundFile> data_;
};

class SAUNO_SOUND_EXPORT TSoundSamples : public TPersistent {
public:
    TSoundSample& Add();
    int Count() const { return static_cast<int>(items_.size()); }
    TSoundSample& Items(int i) const { return *items_.at(static_cast<size_t>(i)); }
    // The first sample whose name equals `name`, ASCII letters compared without case; null if none.
    TSoundSample* GetByName(std::string_view name) const;
    void Clear() { items_.clear(); }
    void Assign(const TSoundSamples& other);

private:
    std::vector<std::unique_ptr<TSoundSample>> items_;
};

class SAUNO_SOUND_EXPORT TSoundLibrary : public TComponent {
public:
    explicit TSoundLibrary(TComponent* owner);
    ~TSoundLibrary() override;
    TSoundSamples& Samples() { return samples_; }
    const TSoundSamples& Samples() const { return samples_; }
    void SetSamples(const TSoundSamples& value) { samples_.Assign(value); }

private:
    TSoundSamples samples_;
};

// The libraries alive in the process, in creation order.
SAUNO_SOUND_EXPORT const std::vector<TSoundLibrary*>& SoundLibraries();
// The first library whose component name equals `name` exactly; null if none.
SAUNO_SOUND_EXPORT TSoundLibrary* GetSoundLibraryByName(std::string_view name);

SAUNO_SOUND_EXPORT bool SameTextAscii(std::string_view a, std::string_view b);

}  // namespace sauno
