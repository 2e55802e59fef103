#include "text/hudtext.h"

#include <GL/gl.h>

#include "engine/buffer.h"
#include "engine/statecache.h"

namespace sauno {

THUDText::THUDText(TComponent* owner)
    : TImmaterialSceneObject(owner), modulateColor_(std::make_unique<TColor>(this, ColorWhite))
{
    SetObjectStyle(ObjectStyle() | osDirectDraw | osNoVisibilityCulling);
}

THUDText::~THUDText()
{
    BeginDestroy();
    SetBitmapFont(nullptr);
}

void THUDText::SetBitmapFont(TCustomBitmapFont* font)
{
    if (font == bitmapFont_) return;
    if (bitmapFont_) {
        bitmapFont_->RemoveUser(this);
        RemoveFreeNotification(bitmapFont_);
    }
    bitmapFont_ = font;
    if (font) {
        font->AddUser(this);
        FreeNotification(font);
    }
    if (!Destroying()) StructureChanged();
}

void THUDText::SetText(const std::string& value)
{
    text_ = value;
    StructureChanged();
}

void THUDText::SetRotation(float degrees)
{
    rotation_ = degrees;
    StructureChanged();
}

void THUDText::SetAlignment(TAlignment value)
{
    alignment_ = value;
    StructureChanged();
}

void THUDText::SetLayout(TTextLayout value)
{
    layout_ = value;
    StructureChanged();
}

void THUDText::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove && component == bitmapFont_) SetBitmapFont(nullptr);
    TImmaterialSceneObject::Notification(component, operation);
}

void THUDText::DrawContent(TRenderContextInfo& rci, bool, bool)
{
    if (bitmapFont_ && !text_.empty()) DrawSelf(rci);
    RenderChildren(0, ChildCount() - 1, rci);
}

void THUDText::DrawSelf(TRenderContextInfo& rci)
{
    if (rci.stateCache) {
        rci.stateCache->SetPolygonMode(GL_FRONT, GL_FILL);
        rci.stateCache->SetPolygonMode(GL_BACK, GL_FILL);
    } else {
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    const TSceneBuffer* buffer = rci.scene ? rci.scene->CurrentBuffer : nullptr;
    glLoadMatrixf(buffer ? buffer->BaseProjectionMatrix().Data() : IdentityMatrix.Data());
    const float f = rci.renderDPI == 96 || rci.renderDPI == 0 ? 1.0f : static_cast<float>(rci.renderDPI) / 96.0f;
    const auto width = static_cast<float>(rci.viewPortWidth), height = static_cast<float>(rci.viewPortHeight);
    glScalef(2 / width, 2 / height, 1);
    const TCoordinates& position = Position();
    glTranslatef(f * position.X() - width / 2, height / 2 - f * position.Y(), position.Z());
    if (rotation_ != 0) glRotatef(rotation_, 0, 0, 1);
    glScalef(f * Scale().X(), f * Scale().Y(), 1);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    struct Restore {
        ~Restore()
        {
            glPopAttrib();
            glPopMatrix();
            glMatrixMode(GL_MODELVIEW);
            glPopMatrix();
        }
    } restore;
    bitmapFont_->DrawText(rci, text_, alignment_, layout_, modulateColor_->Color());
}

}  // namespace sauno
