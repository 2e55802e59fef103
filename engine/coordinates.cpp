#include "engine/coordinates.h"

#include <bit>
#include <string>

#include "engine/updatable.h"
#include "platform/exception.h"

namespace sauno {

namespace {

TVector4 ReadVector(std::span<const uint8_t> bytes, const char* property)
{
    if (bytes.size() != StreamedVectorSize)
        throw Exception(std::string("Invalid ") + property + " data: " + std::to_string(bytes.size()) +
                        " bytes instead of 16");
    TVector4 v;
    for (size_t i = 0; i < 4; ++i) {
        const auto* b = &bytes[4 * i];
        const uint32_t bits = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
        v[i] = std::bit_cast<float>(bits);
    }
    return v;
}

std::array<uint8_t, StreamedVectorSize> WriteVector(const TVector4& v)
{
    std::array<uint8_t, StreamedVectorSize> bytes;
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t bits = std::bit_cast<uint32_t>(v[i]);
        for (size_t k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<uint8_t>(bits >> (8 * k));
    }
    return bytes;
}

size_t ComponentIndex(int index)
{
    Assert(index >= 0 && index < 4);
    return static_cast<size_t>(index);
}

}  // namespace

// TUpdateAbleObject

void TUpdateAbleObject::ReportChange(TPersistent*)
{
    if (updateCount_ > 0 || owner_ == nullptr) return;
    if (auto* object = dynamic_cast<TUpdateAbleObject*>(owner_)) object->ReportChange(this);
    else if (auto* component = dynamic_cast<TUpdateAbleComponent*>(owner_)) component->ReportChange(this);
    if (OnChangeReported) OnChangeReported(this);
}

void TUpdateAbleObject::EndUpdate()
{
    Assert(updateCount_ > 0);
    if (--updateCount_ == 0) ReportChange(this);
}

// TCoordinates

void TCoordinates::SetByIndex(int index, float value)
{
    coordinates_[ComponentIndex(index)] = value;
    ReportChange(this);
}

void TCoordinates::SetPoint(float x, float y, float z)
{
    Assert(style_ != TCoordinatesStyle::csVector);
    coordinates_ = {x, y, z, 1};
    ReportChange(this);
}

void TCoordinates::SetVector(float x, float y, float z) { SetVector(x, y, z, 0); }

void TCoordinates::SetVector(float x, float y, float z, float w)
{
    Assert(style_ != TCoordinatesStyle::csPoint);
    coordinates_ = {x, y, z, w};
    ReportChange(this);
}

void TCoordinates::SetAsVector(const TVector4& v)
{
    coordinates_ = v;
    if (style_ == TCoordinatesStyle::csPoint) coordinates_.w = 1;
    else if (style_ == TCoordinatesStyle::csVector) coordinates_.w = 0;
    ReportChange(this);
}

void TCoordinates::Normalize()
{
    coordinates_ = sauno::Normalize(coordinates_);
    ReportChange(this);
}

void TCoordinates::ReadStreamed(std::span<const uint8_t> bytes) { coordinates_ = ReadVector(bytes, "Coordinates"); }

std::array<uint8_t, StreamedVectorSize> TCoordinates::WriteStreamed() const { return WriteVector(coordinates_); }

void TCoordinates::ReportChange(TPersistent* sender)
{
    if (UpdateCount() > 0) return;
    if (auto* owner = dynamic_cast<TCoordinatesUpdateAbleComponent*>(Owner())) owner->CoordinatesChanged(this);
    else TUpdateAbleObject::ReportChange(sender);
}

// TColor

void TColor::SetByIndex(int index, float value)
{
    float& component = color_[ComponentIndex(index)];
    if (component == value) return;
    component = value;
    ReportChange(this);
}

void TColor::SetColor(const TVector4& v)
{
    color_ = v;
    ReportChange(this);
}

void TColor::ReadStreamed(std::span<const uint8_t> bytes) { color_ = ReadVector(bytes, "Color"); }

std::array<uint8_t, StreamedVectorSize> TColor::WriteStreamed() const { return WriteVector(color_); }

void TColor::ReportChange(TPersistent* sender)
{
    // The display-list invalidation is not a notice: it must not be lost inside an update
    // bracket, or the list would keep the old colour. Only the plain notice is held back.
    if (auto* owner = dynamic_cast<TUpdateAbleComponent*>(Owner())) owner->StructureChanged();
    TUpdateAbleObject::ReportChange(sender);
}

}  // namespace sauno
