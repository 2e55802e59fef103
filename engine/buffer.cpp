#include "engine/buffer.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "engine/camera.h"
#include "engine/context.h"
#include "engine/scene.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/frame_log.h"

#ifndef GL_FOG_DISTANCE_MODE_NV
#define GL_FOG_DISTANCE_MODE_NV 0x855A
#define GL_EYE_RADIAL_NV 0x855B
#define GL_EYE_PLANE_ABSOLUTE_NV 0x855C
#endif

namespace sauno {

namespace {
TMainTexCoordRoutingHandler mainTexCoordRouting = nullptr;
}  // namespace

void SetMainTexCoordRoutingHandler(TMainTexCoordRoutingHandler handler) { mainTexCoordRouting = handler; }

TVector4 ConvertColor(TDelphiColor color, float alpha)
{
    if (color & 0x80000000u) {
        // System colours by index; the button face is the theme's light grey, the rest black
        // or white as their names suggest.
        switch (color & 0xFF) {
            case 5: case 14: return {1, 1, 1, alpha};       // window, highlighted text
            case 15: return {240 / 255.0f, 240 / 255.0f, 240 / 255.0f, alpha};
            default: return {0, 0, 0, alpha};
        }
    }
    return {(color & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, ((color >> 16) & 0xFF) / 255.0f, alpha};
}

// ---- Fog ----------------------------------------------------------------------------------

TFogEnvironment::TFogEnvironment(TSceneBuffer& owner)
    : TUpdateAbleObject(&owner), buffer_(owner), fogColor_(std::make_unique<TColor>(this, ColorBlack))
{
}

void TFogEnvironment::SetFogStart(float value)
{
    if (value == fogStart_) return;
    fogStart_ = value;
    ReportChange(this);
}

void TFogEnvironment::SetFogEnd(float value)
{
    if (value == fogEnd_) return;
    fogEnd_ = value;
    ReportChange(this);
}

void TFogEnvironment::SetFogMode(TFogMode value)
{
    if (value == fogMode_) return;
    fogMode_ = value;
    ReportChange(this);
}

void TFogEnvironment::SetFogDistance(TFogDistance value)
{
    if (value == fogDistance_) return;
    fogDistance_ = value;
    ReportChange(this);
}

void TFogEnvironment::Assign(const TFogEnvironment& other)
{
    fogColor_->BeginUpdate();
    fogColor_->SetColor(other.fogColor_->Color());
    fogColor_->EndUpdate();
    fogStart_ = other.fogStart_;
    fogEnd_ = other.fogEnd_;
    fogMode_ = other.fogMode_;
    fogDistance_ = other.fogDistance_;
    ReportChange(this);
}

void TFogEnvironment::Apply()
{
    TContext* context = buffer_.RenderingContext();
    if (!context) return;
    const bool activate = !context->IsActive();
    if (activate) context->Activate();
    switch (fogMode_) {
        case TFogMode::fmLinear: glFogi(GL_FOG_MODE, GL_LINEAR); break;
        case TFogMode::fmExp:
            glFogi(GL_FOG_MODE, GL_EXP);
            glFogf(GL_FOG_DENSITY, fogColor_->Alpha());
            break;
        case TFogMode::fmExp2:
            glFogi(GL_FOG_MODE, GL_EXP2);
            glFogf(GL_FOG_DENSITY, fogColor_->Alpha());
            break;
    }
    glFogfv(GL_FOG_COLOR, fogColor_->Color().Data());
    glFogf(GL_FOG_START, fogStart_);
    glFogf(GL_FOG_END, fogEnd_);
    if (GLCapabilities().HasExtension("GL_NV_fog_distance")) {
        // The implementation's own mode, read the first time, is what "default" restores.
        static GLint defaultDistanceMode = -1;
        switch (fogDistance_) {
            case TFogDistance::fdEyeRadial: glFogi(GL_FOG_DISTANCE_MODE_NV, GL_EYE_RADIAL_NV); break;
            case TFogDistance::fdEyePlane: glFogi(GL_FOG_DISTANCE_MODE_NV, GL_EYE_PLANE_ABSOLUTE_NV); break;
            case TFogDistance::fdDefault:
                if (defaultDistanceMode < 0) glGetIntegerv(GL_FOG_DISTANCE_MODE_NV, &defaultDistanceMode);
                else glFogi(GL_FOG_DISTANCE_MODE_NV, defaultDistanceMode);
                break;
        }
    }
    if (activate) context->Deactivate();
}

// ---- Buffer -------------------------------------------------------------------------------

TSceneBuffer::TSceneBuffer(TPersistent* owner)
    : TUpdateAbleObject(owner),
      ambientColor_(std::make_unique<TColor>(this, TVector4{0.2f, 0.2f, 0.2f, 1})),
      fogEnvironment_(std::make_unique<TFogEnvironment>(*this))
{
}

TSceneBuffer::~TSceneBuffer()
{
    ClearAfterSceneEffects();
    DetachFromScene();
    camera_ = nullptr;
    renderingContext_.reset();
}

void TSceneBuffer::Changed(TPersistent*)
{
    if (OnChange) OnChange(this);
}

void TSceneBuffer::ReportChange(TPersistent* sender)
{
    if (UpdateCount() > 0) return;
    Changed(sender);
}

void TSceneBuffer::StructuralChange()
{
    if (OnStructuralChange) OnStructuralChange(this);
}

platform::GLPixelFormat TSceneBuffer::PixelFormatRequest() const
{
    platform::GLPixelFormat f;
    f.doubleBuffer = contextOptions_ & OptionBit(roDoubleBuffer);
    f.stereo = contextOptions_ & OptionBit(roStereo);
    if (contextOptions_ & OptionBit(roNoColorBuffer)) {
        f.colorBits = 0;
    } else {
        switch (colorDepth_) {
            case TColorDepth::cd8bits: f.colorBits = 8; break;
            case TColorDepth::cd16bits: f.colorBits = 16; break;
            default: f.colorBits = 24; break;
        }
    }
    switch (depthPrecision_) {
        case TDepthPrecision::dp16bits: f.depthBits = 16; break;
        case TDepthPrecision::dp32bits: f.depthBits = 32; break;
        default: f.depthBits = 24; break;
    }
    f.stencilBits = contextOptions_ & OptionBit(roStencilBuffer) ? 8 : 0;
    f.alphaBits = contextOptions_ & OptionBit(roDestinationAlpha) ? 8 : 0;
    f.accumBits = accumBufferBits_;
    return f;
}

void TSceneBuffer::OpenContext(platform::Window& surface)
{
    CloseContext();
    struct Flag {
        bool& f;
        explicit Flag(bool& flag) : f(flag) { f = true; }
        ~Flag() { f = false; }
    } renderingFlag(rendering_);

    std::unique_ptr<TContext> context = GLContextManager().NewContext();
    if (!context) throw Exception("Failed to create RenderingContext.");
    const platform::GLPixelFormat f = PixelFormatRequest();
    TRCOptions options;
    if (f.doubleBuffer) options.insert(rcoDoubleBuffered);
    if (f.stereo) options.insert(rcoStereo);
    context->SetOptions(options);
    context->SetColorBits(f.colorBits);
    context->SetDepthBits(f.depthBits);
    context->SetStencilBits(f.stencilBits);
    context->SetAlphaBits(f.alphaBits);
    context->SetAccumBits(f.accumBits);
    context->SetAuxBuffers(0);
    context->SetAntiAliasing(static_cast<TAntiAliasing>(antiAliasing_));
    if (OnPrepareContext) OnPrepareContext(this);
    // GL shares display lists only between contexts made so: a later buffer of the scene is
    // made sharing with the scene's base context.
    TContext* base = camera_ && camera_->Scene() ? camera_->Scene()->BaseContext() : nullptr;
    context->CreateOnSurface(surface, base);
    context->Activate();
    try {
        const TGLCapabilities& caps = GLCapabilities();
        if (caps.MajorVersion < 1 || (caps.MajorVersion == 1 && caps.MinorVersion < 1))
            throw EOpenGLError("Need at least OpenGL version 1.1");
        renderingContext_ = std::move(context);
        glViewport(0, 0, viewport_.width, viewport_.height);
        ApplyBufferState();
        const TVector4 clear = ConvertColor(backgroundColor_, 1.0f);
        glClearColor(clear.x, clear.y, clear.z, clear.w);
    } catch (...) {
        if (renderingContext_) renderingContext_->Deactivate();
        else context->Deactivate();
        renderingContext_.reset();
        throw;
    }
    renderingContext_->Deactivate();
}

void TSceneBuffer::CloseContext()
{
    if (!renderingContext_) return;
    DetachFromScene();
    renderingContext_.reset();
}

void TSceneBuffer::DetachFromScene()
{
    if (attachedScene_) {
        attachedScene_->DetachBuffer(this);
        attachedScene_ = nullptr;
    }
}

void TSceneBuffer::SetSize(int width, int height)
{
    viewport_.width = width > 0 ? width : 1;
    viewport_.height = height > 0 ? height : 1;
    if (renderingContext_) {
        renderingContext_->Activate();
        glViewport(0, 0, viewport_.width, viewport_.height);
        renderingContext_->Deactivate();
    }
}

void TSceneBuffer::SetViewport(int left, int top, int width, int height)
{
    viewport_ = {left, top, width, height};
    Changed(this);
}

void TSceneBuffer::SetCamera(TCamera* camera)
{
    if (camera == camera_) return;
    DetachFromScene();
    camera_ = nullptr;
    if (camera && camera->Scene()) {
        camera_ = camera;
        camera->TransformChanged();
    }
    Changed(this);
}

void TSceneBuffer::CameraDestroyed()
{
    DetachFromScene();
    camera_ = nullptr;
}

void TSceneBuffer::ApplyBufferState()
{
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambientColor_->Color().Data());
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, contextOptions_ & OptionBit(roTwoSideLighting) ? 1 : 0);
    stateCache_.Force(TGLState::stNormalize, true);
    stateCache_.Force(TGLState::stDepthTest, depthTest_);
    stateCache_.Force(TGLState::stCullFace, faceCulling_);
    stateCache_.Force(TGLState::stLighting, lighting_);
    stateCache_.Force(TGLState::stFog, fogEnable_);
    GLint blueBits = 8;
    glGetIntegerv(GL_BLUE_BITS, &blueBits);
    stateCache_.Force(TGLState::stDither, blueBits < 8);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glShadeModel(shadeModel_ == TShadeModel::smFlat ? GL_FLAT : GL_SMOOTH);
}

void TSceneBuffer::ClearSurface()
{
    GLbitfield mask = GL_DEPTH_BUFFER_BIT;
    if (!(contextOptions_ & (OptionBit(roNoColorBuffer) | OptionBit(roNoColorBufferClear))))
        mask |= GL_COLOR_BUFFER_BIT;
    if (contextOptions_ & OptionBit(roStencilBuffer)) mask |= GL_STENCIL_BUFFER_BIT;
    glClear(mask);
}

void TSceneBuffer::RenderFrame(TBaseSceneObject* base)
{
    if (rendering_ || !renderingContext_) return;
    const TVector4 clear = ConvertColor(backgroundColor_, backgroundAlpha_);
    const int64_t frameStart = platform::PerformanceCounter();
    if (camera_ && camera_->Scene()) {
        camera_->AbsoluteMatrix();
        if (attachedScene_ != camera_->Scene()) {
            DetachFromScene();
            attachedScene_ = camera_->Scene();
        }
        attachedScene_->AttachBuffer(this);
    }
    renderingContext_->Activate();
    rendering_ = true;
    try {
        if (framesRendered_ == 0) firstFrameCounter_ = platform::PerformanceCounter();
        renderDPI_ = 96;
        DrainGLErrors();
        ApplyBufferState();
        glClearColor(clear.x, clear.y, clear.z, clear.w);
        ClearSurface();
        CheckGLError();
        RenderPass(viewport_, renderDPI_, TDrawState::dsRendering, base);
        CheckGLError();
        if (!(contextOptions_ & OptionBit(roNoSwapBuffers))) renderingContext_->Present();
        ++framesRendered_;
        const int64_t now = platform::PerformanceCounter();
        platform::FrameLogDrawn(frameStart, now);
        const double frequency = static_cast<double>(platform::PerformanceFrequency());
        lastFrameTime_ = static_cast<float>((now - frameStart) / frequency);
        if (now - firstFrameCounter_ > 0)
            framesPerSecond_ = static_cast<float>(framesRendered_ * frequency / (now - firstFrameCounter_));
        CheckGLError();
    } catch (...) {
        rendering_ = false;
        renderingContext_->Deactivate();
        throw;
    }
    rendering_ = false;
    renderingContext_->Deactivate();
    if (AfterRender) AfterRender(this);
}

void TSceneBuffer::LoadMatrices(const TRectangleI& viewport, int dpi)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glGetFloatv(GL_PROJECTION_MATRIX, &baseProjectionMatrix_.rows[0].x);
    if (camera_) {
        camera_->ApplyProjection(viewport, viewport.width, viewport.height, dpi);
        glGetFloatv(GL_PROJECTION_MATRIX, &projectionMatrix_.rows[0].x);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (camera_) {
        if (camera_->Scene()) camera_->Scene()->CurrentCamera = camera_;
        camera_->ApplyView();
        cameraPosition_ = camera_->AbsolutePosition();
    }
    glGetFloatv(GL_MODELVIEW_MATRIX, &modelViewMatrix_.rows[0].x);
}

void TSceneBuffer::RenderPass(const TRectangleI& viewport, int dpi, TDrawState drawState, TBaseSceneObject* base)
{
    LoadMatrices(viewport, dpi);
    // Whatever routing the last pass ended in, this one's coordinates start on the first unit.
    if (mainTexCoordRouting) mainTexCoordRouting();
    if (OnViewerBeforeRender) OnViewerBeforeRender(this);
    if (BeforeRender) BeforeRender(this);
    if (camera_ && camera_->Scene()) {
        GLint maxLights = 8;
        glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
        camera_->Scene()->SetupLights(maxLights);
        if (fogEnable_) {
            stateCache_.Force(TGLState::stFog, true);
            fogEnvironment_->Apply();
        } else {
            stateCache_.Force(TGLState::stFog, false);
        }
        camera_->Scene()->RenderTree(*this, viewport.width, viewport.height, drawState, base);
    }
    if (PostRender) PostRender(this);
    if (!modelViewStack_.empty()) throw Exception("Unbalance Push/PopModelViewMatrix.");
}

void TSceneBuffer::AddAfterSceneEffect(TBaseSceneObject* object)
{
    if (!object || std::find(afterSceneEffects_.begin(), afterSceneEffects_.end(), object) != afterSceneEffects_.end())
        return;
    afterSceneEffects_.push_back(object);
    object->afterSceneBuffers_.push_back(this);
}

void TSceneBuffer::RemoveAfterSceneEffect(TBaseSceneObject* object)
{
    const auto it = std::find(afterSceneEffects_.begin(), afterSceneEffects_.end(), object);
    if (it == afterSceneEffects_.end()) return;
    afterSceneEffects_.erase(it);
    std::erase(object->afterSceneBuffers_, this);
}

void TSceneBuffer::ClearAfterSceneEffects()
{
    for (TBaseSceneObject* object : afterSceneEffects_) std::erase(object->afterSceneBuffers_, this);
    afterSceneEffects_.clear();
}

void TSceneBuffer::PushModelViewMatrix(const TMatrix4& matrix)
{
    modelViewStack_.push_back(modelViewMatrix_);
    modelViewMatrix_ = matrix;
}

void TSceneBuffer::PopModelViewMatrix()
{
    if (modelViewStack_.empty()) throw Exception("Unbalanced PopModelViewMatrix");
    modelViewMatrix_ = modelViewStack_.back();
    modelViewStack_.pop_back();
}

void TSceneBuffer::SetBackgroundColor(TDelphiColor value)
{
    if (value == backgroundColor_) return;
    backgroundColor_ = value;
    Changed(this);
}

void TSceneBuffer::SetContextOptions(TContextOptions value)
{
    if (value == contextOptions_) return;
    contextOptions_ = value;
    StructuralChange();
}

void TSceneBuffer::SetAccumBufferBits(int32_t value)
{
    if (value == accumBufferBits_) return;
    accumBufferBits_ = value;
    StructuralChange();
}

void TSceneBuffer::SetDepthTest(bool value)
{
    if (value == depthTest_) return;
    depthTest_ = value;
    Changed(this);
}

void TSceneBuffer::SetFaceCulling(bool value)
{
    if (value == faceCulling_) return;
    faceCulling_ = value;
    Changed(this);
}

void TSceneBuffer::SetFogEnable(bool value)
{
    if (value == fogEnable_) return;
    fogEnable_ = value;
    Changed(this);
}

void TSceneBuffer::SetLighting(bool value)
{
    if (value == lighting_) return;
    lighting_ = value;
    Changed(this);
}

void TSceneBuffer::SetAntiAliasing(uint8_t value)
{
    if (value == antiAliasing_) return;
    antiAliasing_ = value;
    StructuralChange();
}

void TSceneBuffer::SetDepthPrecision(TDepthPrecision value)
{
    if (value == depthPrecision_) return;
    depthPrecision_ = value;
    StructuralChange();
}

void TSceneBuffer::SetColorDepth(TColorDepth value)
{
    if (value == colorDepth_) return;
    colorDepth_ = value;
    StructuralChange();
}

void TSceneBuffer::SetShadeModel(TShadeModel value)
{
    if (value == shadeModel_) return;
    shadeModel_ = value;
    Changed(this);
}

// ---- The scene pass -----------------------------------------------------------------------

void TScene::RenderTree(TSceneBuffer& buffer, int width, int height, TDrawState drawState, TBaseSceneObject* base)
{
    RenderedObject = nullptr;
    buffer.ClearAfterSceneEffects();
    CurrentBuffer = &buffer;
    TRenderContextInfo rci{};
    rci.scene = this;
    rci.drawState = drawState;
    rci.objectsSorting = ObjectsSorting();
    rci.visibilityCulling = VisibilityCulling();
    rci.bufferFaceCull = buffer.FaceCulling();
    rci.sceneAmbientColor = buffer.AmbientColor().Color();
    TCamera* camera = buffer.Camera();
    rci.cameraPosition = camera ? camera->AbsolutePosition() : OriginPoint;
    TVector4 direction = camera ? camera->LastDirection() : TVector4{0, 0, -1, 0};
    direction.w = 0;
    if (Length3(direction) > 0) direction = Normalize(direction);
    rci.cameraDirection = direction;
    const TVector4 up = camera ? camera->Up().AsVector() : YAxisVector;
    const TVector4 side = Cross(direction, up);
    rci.cameraUp = Length3(side) > 0 ? Normalize(Cross(side, direction)) : YAxisVector;
    rci.rcci.origin = rci.cameraPosition;
    rci.rcci.clippingDirection = direction;
    rci.rcci.viewPortRadius = camera ? camera->ViewportRadius() : 0;
    rci.rcci.farClippingDistance = camera ? camera->NearPlane() + camera->DepthOfView() : 0;
    TMatrix4 modelView, projection;
    glGetFloatv(GL_MODELVIEW_MATRIX, &modelView.rows[0].x);
    glGetFloatv(GL_PROJECTION_MATRIX, &projection.rows[0].x);
    rci.rcci.frustum = FrustumFromMatrix(MatMul(modelView, projection));
    rci.viewPortWidth = width;
    rci.viewPortHeight = height;
    rci.renderDPI = buffer.RenderDPI();
    rci.modelViewMatrix = const_cast<TMatrix4*>(&buffer.ModelViewMatrix());
    rci.stateCache = &buffer.StateCache();
    buffer.StateCache().ResetForPass();
    rci.ignoreMaterials = (buffer.ContextOptions() & OptionBit(roNoColorBuffer)) || drawState == TDrawState::dsPicking;
    glColorMask(!rci.ignoreMaterials, !rci.ignoreMaterials, !rci.ignoreMaterials, !rci.ignoreMaterials);
    try {
        (base ? base : &Objects())->Render(rci);
    } catch (...) {
        glColorMask(true, true, true, true);
        throw;
    }
    glColorMask(true, true, true, true);
    // Index by index: an effect may ask for more after-scene drawing while it draws.
    for (size_t i = 0; i < buffer.AfterSceneEffects().size(); ++i)
        buffer.AfterSceneEffects()[i]->RenderAfterScene(buffer, rci);
    buffer.StateCache().Disable(TGLState::stBlend);
    buffer.StateCache().Disable(TGLState::stTexture2D);
    buffer.StateCache().Enable(TGLState::stAlphaTest);
    glAlphaFunc(GL_GREATER, 0);
}

}  // namespace sauno
