#pragma once
// Event types that components publish and the scene description binds to handlers by name.
#include <cstdint>
#include <functional>

namespace sauno {

class TComponent;

enum TShiftFlag : uint32_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
using TShiftState = uint32_t;
enum class TMouseButton { mbLeft, mbRight, mbMiddle };

using TNotifyEvent = std::function<void(TComponent* sender)>;
using TKeyEvent = std::function<void(TComponent* sender, uint16_t& key, TShiftState shift)>;
using TMouseEvent = std::function<void(TComponent* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TComponent* sender, TShiftState shift, int x, int y)>;
// A turn of the wheel: `wheelDelta` is 120 per notch, positive away from the user; x and y are
// where the pointer is. A handler that consumes the turn sets `handled`.
using TMouseWheelEvent =
    std::function<void(TComponent* sender, TShiftState shift, int wheelDelta, int x, int y, bool& handled)>;
// A character typed: printable characters in the Latin-1 range, and Enter (13), Escape (27),
// Backspace (8) and Tab (9). A handler may change the character or set it to 0.
using TKeyPressEvent = std::function<void(TComponent* sender, char& key)>;

// One notch of a mouse wheel, in the units of TMouseWheelEvent.
inline constexpr int WheelDeltaPerNotch = 120;

}  // namespace sauno
