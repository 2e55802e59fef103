#include "sound/soundlibrary.h"

#include <algorithm>
#include <cstdio>

#include "platform/exception.h"

namespace sauno {

bool SameTextAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

void TSoundSample::SetData(const TSoundFile* file) { data_ = file ? file->Clone() : nullptr; }

void TSoundSample::Assign(const TSoundSample& other)
{
    if (&other == this) return;
    Name = other.Name;
    SetData(other.Data());
}

std::string TSoundSample::DisplayName() const
{
    if (!data_) return Name + " (empty)";
    const TSoundSampling& s = data_->Sampling();
    char details[160];
    std::snprintf(details, sizeof details, " (%d Hz, %d bits, %d channel%s, %.2f sec)", s.Frequency, s.BitsPerSample,
                  s.NbChannels, s.NbChannels >= 2 ? "s" : "", static_cast<double>(data_->Duration()));
    return Name + details;
}

void TSoundSample::ReadBinData(std::span<const uint8_t> bytes)
{
    data_.reset();
    if (bytes.size() < 4) throw Exception("Invalid sound data: too short");
    const uint32_t n = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
    if (n > 255 || bytes.size() - 4 < n) throw Exception("Invalid sound data: bad class name");
    const std::string className(bytes.begin() + 4, bytes.begin() + 4 + n);
    std::unique_ptr<TSoundFile> file = CreateSoundFile(className);
    if (!file) throw Exception("Class " + className + " not found");
    file->LoadFromStream(bytes.subspan(4 + n));
    data_ = std::move(file);
}

std::vector<uint8_t> TSoundSample::WriteBinData() const
{
    std::vector<uint8_t> out;
    if (!data_) return out;
    const std::string className = data_->ClassName();
    const uint32_t n = static_cast<uint32_t>(className.size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(n >> shift));
    out.insert(out.end(), className.begin(), className.end());
    data_->SaveToStream(out);
    return out;
}

TSoundSample& TSoundSamples::Add()
{
    items_.push_back(std::make_unique<TSoundSample>(this));
    return *items_.back();
}

TSoundSample* TSoundSamples::GetByName(std::string_view name) const
{
    for (const auto& s : items_)
        if (SameTextAscii(s->Name, name)) return s.get();
    return nullptr;
}

void TSoundSamples::Assign(const TSoundSamples& other)
{
    if (&other == this) return;
    items_.clear();
    for (const auto& s : other.items_) Add().Assign(*s);
}

namespace {
std::vector<TSoundLibrary*>& Libraries()
{
    static std::vector<TSoundLibrary*> list;
    return list;
}
}  // namespace

TSoundLibrary::TSoundLibrary(TComponent* owner) : TComponent(owner) { Libraries().push_back(this); }

TSoundLibrary::~TSoundLibrary()
{
    auto& list = Libraries();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

const std::vector<TSoundLibrary*>& SoundLibraries() { return Libraries(); }

TSoundLibrary* GetSoundLibraryByName(std::string_view name)
{
    for (TSoundLibrary* l : Libraries())
        if (l->Name() == name) return l;
    return nullptr;
}

}  // namespace sauno
