#pragma once
// Holders of one four-float value owned by an engine object: every change is reported up
// the owner's chain so that the scene gets redrawn. Coordinates and colours are stored in the
// scene description as 16 bytes, the four components as little-endian IEEE floats.
#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "engine/export.h"
#include "engine/vectors.h"
#include "runtime/component.h"

namespace sauno {

class TUpdateAbleObject;
using TChangeReportedEvent = std::function<void(TUpdateAbleObject* sender)>;

// The size of the "Coordinates" and "Color" data properties.
inline constexpr size_t StreamedVectorSize = 16;

// Base of the engine's persistent sub-objects. The owner is not owned; it is told of changes
// when it is another TUpdateAbleObject or a TUpdateAbleComponent.
class SAUNO_ENGINE_EXPORT TUpdateAbleObject : public TPersistent {
public:
    explicit TUpdateAbleObject(TPersistent* owner) : owner_(owner) {}
    TUpdateAbleObject(const TUpdateAbleObject&) = delete;
    TUpdateAbleObject& operator=(const TUpdateAbleObject&) = delete;

    TPersistent* Owner() const { return owner_; }

    // Without an owner, or inside an update bracket, nothing happens (not even the event).
    // Otherwise the owner's ReportChange(this), then OnChangeReported(this).
    virtual void ReportChange(TPersistent* sender);

    // Notices are dropped while the bracket is open, not queued; closing the outermost
    // bracket sends one ReportChange(this). Closing an unopened bracket is "Assertion failure".
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int32_t UpdateCount() const { return updateCount_; }

    TChangeReportedEvent OnChangeReported;

private:
    TPersistent* owner_;
    int32_t updateCount_ = 0;
};

enum class TCoordinatesStyle {
    csPoint,   // keeps w = 1
    csVector,  // keeps w = 0
    csFree,    // keeps whatever w it is given
};

// A position, direction or scale. Its change notice goes to the owner's CoordinatesChanged
// when the owner is a TCoordinatesUpdateAbleComponent, otherwise it is a plain ReportChange.
class SAUNO_ENGINE_EXPORT TCoordinates : public TUpdateAbleObject {
public:
    explicit TCoordinates(TPersistent* owner, TCoordinatesStyle style = TCoordinatesStyle::csFree,
                          const TVector4& initial = NullVector)
        : TUpdateAbleObject(owner), coordinates_(initial), style_(style) {}

    const TVector4& AsVector() const { return coordinates_; }
    TCoordinatesStyle Style() const { return style_; }
    float X() const { return coordinates_.x; }
    float Y() const { return coordinates_.y; }
    float Z() const { return coordinates_.z; }
    float W() const { return coordinates_.w; }

    // Component index (0..3) := value; always a change notice, even for the same value.
    void SetByIndex(int index, float value);
    void SetX(float value) { SetByIndex(0, value); }
    void SetY(float value) { SetByIndex(1, value); }
    void SetZ(float value) { SetByIndex(2, value); }
    // (x, y, z, 1); not allowed on a vector-style holder ("Assertion failure", value kept).
    void SetPoint(float x, float y, float z);
    // (x, y, z, 0) or (x, y, z, w); not allowed on a point-style holder.
    void SetVector(float x, float y, float z);
    void SetVector(float x, float y, float z, float w);
    // v with w forced by the style (point 1, vector 0, free keeps v.w); change notice.
    void SetAsVector(const TVector4& v);
    // v exactly as given, no notice: for callers that send their own notice afterwards.
    void SetRaw(const TVector4& v) { coordinates_ = v; }
    // x, y, z normalised, w := 0; change notice. The length must not be zero.
    void Normalize();
    float Length() const { return Length3(coordinates_); }
    // Copies the four components of `other`; no notice.
    void Assign(const TCoordinates& other) { coordinates_ = other.coordinates_; }

    // The "Coordinates" data property. Reading replaces all four components without a notice;
    // anything but exactly 16 bytes raises an Exception and leaves the value as it was.
    void ReadStreamed(std::span<const uint8_t> bytes);
    std::array<uint8_t, StreamedVectorSize> WriteStreamed() const;

    void ReportChange(TPersistent* sender) override;

private:
    TVector4 coordinates_;
    TCoordinatesStyle style_;
};

// A red, green, blue, alpha colour, each nominally 0..1. When the owner is a scene object its
// StructureChanged comes first (the colour may be compiled into a display list), even inside
// an update bracket; then the plain ReportChange, which the bracket suppresses.
class SAUNO_ENGINE_EXPORT TColor : public TUpdateAbleObject {
public:
    explicit TColor(TPersistent* owner) : TUpdateAbleObject(owner), color_(ColorBlack) {}
    TColor(TPersistent* owner, const TVector4& initial, TChangeReportedEvent onChange = {})
        : TUpdateAbleObject(owner), color_(initial)
    {
        OnChangeReported = std::move(onChange);
    }

    const TVector4& Color() const { return color_; }
    float Red() const { return color_.x; }
    float Green() const { return color_.y; }
    float Blue() const { return color_.z; }
    float Alpha() const { return color_.w; }

    // Stores and notifies only when the component differs.
    void SetByIndex(int index, float value);
    void SetRed(float value) { SetByIndex(0, value); }
    void SetGreen(float value) { SetByIndex(1, value); }
    void SetBlue(float value) { SetByIndex(2, value); }
    void SetAlpha(float value) { SetByIndex(3, value); }
    // Always a change notice.
    void SetColor(const TVector4& v);
    // Copies the four components of `other` and sends a change notice.
    void Assign(const TColor& other) { SetColor(other.color_); }

    // The "Color" data property; the same rules as for coordinates.
    void ReadStreamed(std::span<const uint8_t> bytes);
    std::array<uint8_t, StreamedVectorSize> WriteStreamed() const;

    void ReportChange(TPersistent* sender) override;

private:
    TVector4 color_;
};

}  // namespace sauno
