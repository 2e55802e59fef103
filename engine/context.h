#pragma once
// Rendering contexts and the GL objects that live in them. Every GL call of the engine is made
// with a context active. Activation is counted, so nested activations of one context are cheap;
// one context at a time is the process-wide current one. Contexts of one sharing group see the
// same display lists and textures; a handle to such an object moves to another member when its
// context is destroyed and the object is deleted with the last member.
#include <GL/gl.h>

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/export.h"
#include "platform/exception.h"
#include "platform/glcontext.h"
#include "platform/window.h"

namespace sauno {

class SAUNO_ENGINE_EXPORT EContext : public Exception {
public:
    using Exception::Exception;
};

class SAUNO_ENGINE_EXPORT EOpenGLError : public Exception {
public:
    using Exception::Exception;
};

// Reads pending GL errors until there is none, at most 7 reads.
SAUNO_ENGINE_EXPORT void DrainGLErrors();
// Raises EOpenGLError with GLU's text for the first pending GL error, draining up to 7 more.
SAUNO_ENGINE_EXPORT void CheckGLError();

enum TAntiAliasing { aaDefault, aaNone, aa2x, aa2xHQ, aa4x, aa4xHQ };
enum TRCOption { rcoDoubleBuffered, rcoStereo };
using TRCOptions = std::set<TRCOption>;
enum TAcceleration { acUnknown, acHardware, acSoftware };

// What the current GL context offers, read again whenever another context becomes current.
struct SAUNO_ENGINE_EXPORT TGLCapabilities {
    int MajorVersion = 0;
    int MinorVersion = 0;
    std::string Vendor;
    std::string Renderer;
    std::string Extensions;     // GL's, blank-separated
    std::string GLUExtensions;  // GLU's, blank-separated
    bool HasExtension(std::string_view name) const;
};
SAUNO_ENGINE_EXPORT const TGLCapabilities& GLCapabilities();
// True when `name` is a whole blank-separated word of `extensions`.
SAUNO_ENGINE_EXPORT bool ExtensionPresent(std::string_view extensions, std::string_view name);

class TContextManager;
class TContextHandle;

class SAUNO_ENGINE_EXPORT TContext {
public:
    explicit TContext(TContextManager& manager);
    // Every kind of context discards its GL context in its own destructor; this one unregisters.
    virtual ~TContext();
    TContext(const TContext&) = delete;
    TContext& operator=(const TContext&) = delete;

    // Pixel-format wishes. The setters raise EContext "Cannot alter an active context" while active.
    int ColorBits() const { return colorBits_; }
    int AlphaBits() const { return alphaBits_; }
    int DepthBits() const { return depthBits_; }
    int StencilBits() const { return stencilBits_; }
    int AccumBits() const { return accumBits_; }
    int AuxBuffers() const { return auxBuffers_; }
    const TRCOptions& Options() const { return options_; }
    TAntiAliasing AntiAliasing() const { return antiAliasing_; }
    void SetColorBits(int bits);
    void SetAlphaBits(int bits);
    void SetDepthBits(int bits);
    void SetStencilBits(int bits);
    void SetAccumBits(int bits);
    void SetAuxBuffers(int count);
    void SetOptions(const TRCOptions& options);
    void SetAntiAliasing(TAntiAliasing antiAliasing);
    // The wishes as a window's pixel format; a window made with it needs no re-making.
    platform::GLPixelFormat PixelFormatWish() const;

    TContextManager& Manager() const { return *manager_; }
    TAcceleration Acceleration() const { return acceleration_; }
    int ActivationCount() const { return activationCount_; }
    // Members of the sharing group, this one included once created.
    const std::vector<TContext*>& SharedContexts() const { return sharedContexts_; }
    const std::vector<TContextHandle*>& OwnedHandles() const { return ownedHandles_; }

    // Creates the GL context on `surface`. With `shareWith` (created), the new context is made
    // sharing its lists and textures and joins its group. The surface may be made again for the
    // chosen pixel format: through OnRemakeSurface when set, else by Window::Remake.
    // EContext "Context already created" when a GL context exists.
    void CreateOnSurface(platform::Window& surface, TContext* shareWith = nullptr);
    void Activate();
    void Deactivate();
    bool IsActive() const { return activationCount_ > 0; }
    virtual bool IsValid() const = 0;
    // Shows the back buffer when double-buffered.
    void Present();
    // Puts `other` into this context's sharing group.
    void ShareListsWith(TContext& other);
    // Destroys the GL context: owned handles move to another member of the group, or their GL
    // objects are deleted; the context that was current stays current.
    void Discard();
    virtual platform::Window* Surface() const = 0;

    static TContext* Current() { return current_; }

    std::function<void(platform::Window& surface, const platform::GLPixelFormat& format)> OnRemakeSurface;

protected:
    // The platform part.
    virtual void DoCreateContext(platform::Window& surface, TContext* shareWith) = 0;
    virtual void DoShareLists(TContext& other) = 0;
    virtual void DoDestroyContext() = 0;
    virtual void DoActivate() = 0;
    virtual void DoDeactivate() = 0;
    virtual void DoPresent() = 0;

    TAcceleration acceleration_ = acUnknown;

private:
    friend class TContextHandle;
    void CheckNotActive() const;
    void SetSharedContexts(const std::vector<TContext*>& members);
    void LeaveSharingGroup();
    void RemoveHandle(TContextHandle* handle);
    // Binds `target` (or nothing) to GL for a moment, leaving activation counts alone; returns
    // the context that was current.
    static TContext* SwitchTo(TContext* target);

    int colorBits_ = 32;
    int alphaBits_ = 0;
    int depthBits_ = 0;
    int stencilBits_ = 0;
    int accumBits_ = 0;
    int auxBuffers_ = 0;
    TAntiAliasing antiAliasing_ = aaDefault;
    TRCOptions options_;
    TContextManager* manager_;
    int activationCount_ = 0;
    std::vector<TContext*> sharedContexts_;
    std::vector<TContextHandle*> ownedHandles_;

    static TContext* current_;
};

// The context on an SDL window.
class SAUNO_ENGINE_EXPORT TSDLContext : public TContext {
public:
    explicit TSDLContext(TContextManager& manager) : TContext(manager) {}
    ~TSDLContext() override;

    bool IsValid() const override { return gl_ != nullptr; }
    platform::Window* Surface() const override { return gl_ ? &gl_->Surface() : nullptr; }
    platform::GLContext* PlatformContext() const { return gl_.get(); }

protected:
    void DoCreateContext(platform::Window& surface, TContext* shareWith) override;
    void DoShareLists(TContext& other) override;
    void DoDestroyContext() override;
    void DoActivate() override;
    void DoDeactivate() override;
    void DoPresent() override;

private:
    std::unique_ptr<platform::GLContext> gl_;
    int destroyListener_ = 0;
};

class SAUNO_ENGINE_EXPORT TContextManager {
public:
    using ContextClass = std::function<std::unique_ptr<TContext>(TContextManager& manager)>;

    TContextManager() = default;
    ~TContextManager();
    TContextManager(const TContextManager&) = delete;
    TContextManager& operator=(const TContextManager&) = delete;

    // A new context of the first registered class, or none when no class is registered.
    std::unique_ptr<TContext> NewContext();
    void RegisterContextClass(ContextClass contextClass);
    void ClearContextClasses();

    // EContext "Invalid context registration" for a second registration or an unknown context.
    void RegisterContext(TContext& context);
    void UnregisterContext(TContext& context);
    int ContextCount() const;
    // GL contexts that exist now.
    int CreatedCount() const;
    void ContextCreated();
    void ContextDestroyed();

    // At process end: the manager goes as soon as no context is registered any more.
    void Terminate();
    bool Terminated() const { return terminated_; }

private:
    mutable std::mutex lock_;
    std::vector<TContext*> contexts_;
    std::vector<ContextClass> classes_;
    int createdCount_ = 0;
    bool terminated_ = false;
};

// The process's manager, made on first use with TSDLContext registered.
SAUNO_ENGINE_EXPORT TContextManager& GLContextManager();

// A GL object living in a context. Not copyable: it owns the object.
class SAUNO_ENGINE_EXPORT TContextHandle {
public:
    TContextHandle() = default;
    // Every kind releases its name in its own destructor.
    virtual ~TContextHandle();
    TContextHandle(const TContextHandle&) = delete;
    TContextHandle& operator=(const TContextHandle&) = delete;

    GLuint Handle() const { return handle_; }
    TContext* RenderingContext() const { return renderingContext_; }

    // Creates the GL object in the current context ("Assertion failure" without one, or when an
    // object exists already).
    void AcquireName();
    // Deletes the GL object in its context, activating that context for the call if needed.
    void ReleaseName();
    // Hands the object to another member of its context's sharing group.
    void Transfer(TContext& context);

protected:
    virtual GLuint DoAllocateHandle() = 0;
    virtual void DoDestroyHandle() = 0;
    // For destructors: releases and swallows errors, since a destructor cannot raise.
    void ReleaseQuietly() noexcept;

private:
    friend class TContext;
    // The owner's GL context is gone with no partner: the object went with it.
    void Forget();

    GLuint handle_ = 0;
    TContext* renderingContext_ = nullptr;
};

// One display list.
class SAUNO_ENGINE_EXPORT TListHandle final : public TContextHandle {
public:
    ~TListHandle() override { ReleaseQuietly(); }

protected:
    GLuint DoAllocateHandle() override;
    void DoDestroyHandle() override;
};

// One texture object.
class SAUNO_ENGINE_EXPORT TTextureHandle final : public TContextHandle {
public:
    ~TTextureHandle() override { ReleaseQuietly(); }

protected:
    GLuint DoAllocateHandle() override;
    void DoDestroyHandle() override;
};

// A GL object made and deleted by two events; OnAllocate sets the name it made.
class SAUNO_ENGINE_EXPORT TVirtualHandle final : public TContextHandle {
public:
    ~TVirtualHandle() override { ReleaseQuietly(); }

    std::function<void(TVirtualHandle& sender, GLuint& handle)> OnAllocate;
    std::function<void(TVirtualHandle& sender, GLuint& handle)> OnDestroy;

protected:
    GLuint DoAllocateHandle() override;
    void DoDestroyHandle() override;
};

}  // namespace sauno
