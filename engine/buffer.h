#pragma once
// The scene buffer: turns the scene into pixels. It owns the rendering context on its viewer's
// surface, the GL state cache, the fog settings, the viewport and the matrices of the last frame;
// RenderFrame clears, loads the camera's projection and view, lights, fog, draws the tree and
// presents. Every change of its settings is a redraw (OnChange) or, for what the pixel format
// depends on, a structural change (OnStructuralChange) that makes the viewer rebuild the context.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/export.h"
#include "engine/coordinates.h"
#include "engine/rendercontextinfo.h"
#include "engine/statecache.h"
#include "platform/window.h"

namespace sauno {

class TContext;
class TCamera;
class TBaseSceneObject;
class TSceneBuffer;

// Names and order are part of the scene-description format.
enum TContextOption : uint16_t {
    roDoubleBuffer, roStencilBuffer, roRenderToWindow, roTwoSideLighting, roStereo, roDestinationAlpha,
    roNoColorBuffer, roNoColorBufferClear, roNoSwapBuffers
};
using TContextOptions = uint16_t;  // one bit per option
constexpr TContextOptions OptionBit(TContextOption o) { return static_cast<TContextOptions>(1u << o); }
enum class TDepthPrecision : uint8_t { dpDefault, dp16bits, dp24bits, dp32bits };
enum class TColorDepth : uint8_t { cdDefault, cd8bits, cd16bits, cd24bits };
enum class TShadeModel : uint8_t { smDefault, smSmooth, smFlat };
enum class TFogMode : uint8_t { fmLinear, fmExp, fmExp2 };
enum class TFogDistance : uint8_t { fdDefault, fdEyeRadial, fdEyePlane };

// A 32-bit colour: 0x00BBGGRR, or with the top bit set a system colour by its low byte.
using TDelphiColor = uint32_t;
constexpr TDelphiColor clBlack = 0x000000, clWhite = 0xFFFFFF, clBtnFace = 0x8000000F;
// Red, green, blue as byte / 255 and the given alpha; system colours from the platform's theme.
SAUNO_ENGINE_EXPORT TVector4 ConvertColor(TDelphiColor color, float alpha);

class SAUNO_ENGINE_EXPORT TFogEnvironment : public TUpdateAbleObject {
public:
    explicit TFogEnvironment(TSceneBuffer& owner);
    TColor& FogColor() { return *fogColor_; }
    float FogStart() const { return fogStart_; }
    void SetFogStart(float value);
    float FogEnd() const { return fogEnd_; }
    void SetFogEnd(float value);
    TFogMode FogMode() const { return fogMode_; }
    void SetFogMode(TFogMode value);
    TFogDistance FogDistance() const { return fogDistance_; }
    void SetFogDistance(TFogDistance value);
    // Colour, start, end, mode and distance, with one change notice.
    void Assign(const TFogEnvironment& other);
    // Loads the settings into the buffer's context (activating it for the call if needed).
    void Apply();

private:
    TSceneBuffer& buffer_;
    std::unique_ptr<TColor> fogColor_;
    float fogStart_ = 10, fogEnd_ = 1000;
    TFogMode fogMode_ = TFogMode::fmLinear;
    TFogDistance fogDistance_ = TFogDistance::fdDefault;
};

using TBufferEvent = std::function<void(TSceneBuffer* sender)>;

// Puts the process-wide texture-coordinate routing in its main mode: the coordinates objects send
// through the engine become plain glTexCoord calls on the first texture unit. The routing lives
// with the textures, above the engine, which installs the handler; until then a pass has none.
using TMainTexCoordRoutingHandler = void (*)();
SAUNO_ENGINE_EXPORT void SetMainTexCoordRoutingHandler(TMainTexCoordRoutingHandler handler);

class SAUNO_ENGINE_EXPORT TSceneBuffer : public TUpdateAbleObject {
public:
    explicit TSceneBuffer(TPersistent* owner);
    ~TSceneBuffer() override;

    // ---- The context ----
    void OpenContext(platform::Window& surface);
    void CloseContext();
    bool HasContext() const { return renderingContext_ != nullptr; }
    TContext* RenderingContext() const { return renderingContext_.get(); }
    bool Rendering() const { return rendering_; }
    // What a context of this buffer must offer, from its options and precisions.
    platform::GLPixelFormat PixelFormatRequest() const;

    // ---- Frames ----
    void SetSize(int width, int height);
    void SetViewport(int left, int top, int width, int height);
    const TRectangleI& Viewport() const { return viewport_; }
    void RenderFrame(TBaseSceneObject* base = nullptr);
    void RenderPass(const TRectangleI& viewport, int dpi, TDrawState drawState, TBaseSceneObject* base);
    void PushModelViewMatrix(const TMatrix4& matrix);
    void PopModelViewMatrix();
    const TMatrix4& ModelViewMatrix() const { return modelViewMatrix_; }
    const TMatrix4& ProjectionMatrix() const { return projectionMatrix_; }
    const TMatrix4& BaseProjectionMatrix() const { return baseProjectionMatrix_; }
    int RenderDPI() const { return renderDPI_; }
    TStateCache& StateCache() { return stateCache_; }

    // ---- After-scene effects ----
    // Objects that asked, during this pass, to draw once more after the tree; they do so in
    // list order. Not owned: an object leaves every list when it is destroyed. The list is
    // emptied at the start of every scene pass.
    void AddAfterSceneEffect(TBaseSceneObject* object);
    void RemoveAfterSceneEffect(TBaseSceneObject* object);
    void ClearAfterSceneEffects();
    const std::vector<TBaseSceneObject*>& AfterSceneEffects() const { return afterSceneEffects_; }

    // ---- Camera ----
    TCamera* Camera() const { return camera_; }
    void SetCamera(TCamera* camera);
    // The camera is being destroyed: forget it without touching it.
    void CameraDestroyed();

    // ---- Statistics ----
    int32_t FramesRendered() const { return framesRendered_; }
    float FramesPerSecond() const { return framesPerSecond_; }
    float LastFrameTime() const { return lastFrameTime_; }

    // ---- Published properties ----
    TFogEnvironment& FogEnvironment() { return *fogEnvironment_; }
    TDelphiColor BackgroundColor() const { return backgroundColor_; }
    void SetBackgroundColor(TDelphiColor value);
    TColor& AmbientColor() { return *ambientColor_; }
    TContextOptions ContextOptions() const { return contextOptions_; }
    void SetContextOptions(TContextOptions value);
    int32_t AccumBufferBits() const { return accumBufferBits_; }
    void SetAccumBufferBits(int32_t value);
    bool DepthTest() const { return depthTest_; }
    void SetDepthTest(bool value);
    bool FaceCulling() const { return faceCulling_; }
    void SetFaceCulling(bool value);
    bool FogEnable() const { return fogEnable_; }
    void SetFogEnable(bool value);
    bool Lighting() const { return lighting_; }
    void SetLighting(bool value);
    uint8_t AntiAliasing() const { return antiAliasing_; }
    void SetAntiAliasing(uint8_t value);
    TDepthPrecision DepthPrecision() const { return depthPrecision_; }
    void SetDepthPrecision(TDepthPrecision value);
    TColorDepth ColorDepth() const { return colorDepth_; }
    void SetColorDepth(TColorDepth value);
    TShadeModel ShadeModel() const { return shadeModel_; }
    void SetShadeModel(TShadeModel value);

    // ---- Events ----
    TBufferEvent OnChange, OnStructuralChange, OnPrepareContext, BeforeRender, OnViewerBeforeRender, PostRender,
        AfterRender;
    // The buffer's change notification: raises OnChange.
    void Changed(TPersistent* sender);
    void ReportChange(TPersistent* sender) override;

private:
    void StructuralChange();
    void ApplyBufferState();
    void ClearSurface();
    void LoadMatrices(const TRectangleI& viewport, int dpi);
    void DetachFromScene();

    TStateCache stateCache_;
    bool rendering_ = false;
    std::unique_ptr<TContext> renderingContext_;
    std::vector<TBaseSceneObject*> afterSceneEffects_;
    TMatrix4 projectionMatrix_ = IdentityMatrix, modelViewMatrix_ = IdentityMatrix,
             baseProjectionMatrix_ = IdentityMatrix;
    std::vector<TMatrix4> modelViewStack_;
    TVector4 cameraPosition_;
    TRectangleI viewport_{0, 0, 1, 1};
    bool faceCulling_ = true, fogEnable_ = false, lighting_ = true, depthTest_ = true;
    TDelphiColor backgroundColor_ = clBtnFace;
    float backgroundAlpha_ = 1;
    std::unique_ptr<TColor> ambientColor_;
    uint8_t antiAliasing_ = 0;
    TDepthPrecision depthPrecision_ = TDepthPrecision::dpDefault;
    TColorDepth colorDepth_ = TColorDepth::cdDefault;
    TContextOptions contextOptions_ = OptionBit(roDoubleBuffer) | OptionBit(roRenderToWindow);
    TShadeModel shadeModel_ = TShadeModel::smDefault;
    int32_t renderDPI_ = 96;
    std::unique_ptr<TFogEnvironment> fogEnvironment_;
    int32_t accumBufferBits_ = 0;
    TCamera* camera_ = nullptr;
    int32_t framesRendered_ = 0;
    float framesPerSecond_ = 0;
    int64_t firstFrameCounter_ = 0;
    float lastFrameTime_ = 0;
    TScene* attachedScene_ = nullptr;
};

}  // namespace sauno
