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

}  // namespace sauno
