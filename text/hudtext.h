#pragma once
// THUDText: a scene object that draws a string with a bitmap font in screen space, at a pixel
// position from the top-left corner of the viewport (x right, y down, z a depth within -1 ... 1),
// over everything drawn before it. The camera and the parents' transforms do not move it; its
// parents matter for visibility only. Its children are drawn after it.
#include <memory>
#include <string>

#include "text/export.h"
#include "engine/coordinates.h"
#include "engine/scene.h"
#include "text/bitmapfont.h"

namespace sauno {

class SAUNO_TEXT_EXPORT THUDText : public TImmaterialSceneObject {
public:
    explicit THUDText(TComponent* owner);
    ~THUDText() override;

    TCustomBitmapFont* BitmapFont() const { return bitmapFont_; }
    // Unregisters from the old font, registers with the new one and watches it for destruction.
    void SetBitmapFont(TCustomBitmapFont* font);
    const std::string& Text() const { return text_; }
    // These store without comparing and always send a structure-change notice.
    void SetText(const std::string& value);
    float Rotation() const { return rotation_; }
    void SetRotation(float degrees);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout value);
    TColor& ModulateColor() { return *modulateColor_; }
    void SetModulateColor(const TColor& value) { modulateColor_->Assign(value); }

    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void DrawSelf(TRenderContextInfo& rci);

    TCustomBitmapFont* bitmapFont_ = nullptr;
    std::string text_;
    float rotation_ = 0;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    TTextLayout layout_ = TTextLayout::tlTop;
    std::unique_ptr<TColor> modulateColor_;
};

}  // namespace sauno
