#pragma once
// STAND-IN for bitmap fonts and HUD texts: texts hold their value and visibility but are not
// drawn. The text issue replaces this file with the real classes.
#include <string>

#include "engine/scene.h"
#include "runtime/component.h"

namespace sauno {

class TWindowsBitmapFont : public TComponent {
public:
    using TComponent::TComponent;
    std::string FontName;
    int FontHeight = 0;
    bool Bold = false;
};

class THUDText : public TImmaterialSceneObject {
public:
    using TImmaterialSceneObject::TImmaterialSceneObject;
    const std::string& Text() const { return text_; }
    void SetText(const std::string& value);
    TWindowsBitmapFont* BitmapFont = nullptr;

private:
    std::string text_;
};

void RegisterTextStandIns();

}  // namespace sauno
