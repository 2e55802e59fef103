#include "engine/context.h"

#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace sauno {

namespace {
constexpr GLenum kMultisampleFilterHint = 0x8534;  // GL_MULTISAMPLE_FILTER_HINT_NV

TGLCapabilities capabilities;
// The platform context whose capabilities were read last; 0 makes the next activation read them.
uint64_t lastSeenContext = 0;

template <class T>
bool Contains(const std::vector<T*>& list, const T* item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string GLText(GLenum name)
{
    auto text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

void ReadCapabilities()
{
    capabilities = TGLCapabilities{};
    std::string version = GLText(GL_VERSION);
    std::sscanf(version.c_str(), "%d.%d", &capabilities.MajorVersion, &capabilities.MinorVersion);
    capabilities.Vendor = GLText(GL_VENDOR);
    capabilities.Renderer = GLText(GL_RENDERER);
    capabilities.Extensions = GLText(GL_EXTENSIONS);
    auto glu = reinterpret_cast<const char*>(gluGetString(GLU_EXTENSIONS));
    capabilities.GLUExtensions = glu ? glu : "";
}

TContextManager* processManager = nullptr;

// Marks the process's manager terminated when static objects go at process end.
struct ManagerTerminator {
    ~ManagerTerminator()
    {
        if (processManager) processManager->Terminate();
    }
} terminator;
}  // namespace

// ---- GL errors ----

void DrainGLErrors()
{
    for (int i = 0; i < 7; ++i)
        if (glGetError() == GL_NO_ERROR) return;
}

void CheckGLError()
{
    GLenum first = glGetError();
    if (first == GL_NO_ERROR) return;
    for (int i = 0; i < 7; ++i)
        if (glGetError() == GL_NO_ERROR) break;
    auto text = reinterpret_cast<const char*>(gluErrorString(first));
    if (text) throw EOpenGLError(text);
    char fallback[40];
    std::snprintf(fallback, sizeof fallback, "Unknown GL error 0x%X", first);
    throw EOpenGLError(fallback);
}

bool ExtensionPresent(std::string_view extensions, std::string_view name)
{
    if (name.empty()) return false;
    for (size_t at = extensions.find(name); at != std::string_view::npos; at = extensions.find(name, at + 1)) {
        size_t end = at + name.size();
        bool starts = at == 0 || extensions[at - 1] == ' ';
        bool ends = end == extensions.size() || extensions[end] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

bool TGLCapabilities::HasExtension(std::string_view name) const
{
    return ExtensionPresent(Extensions, name) || ExtensionPresent(GLUExtensions, name);
}

const TGLCapabilities& GLCapabilities() { return capabilities; }

// ---- TContext ----

TContext* TContext::current_ = nullptr;

TContext::TContext(TContextManager& manager) : manager_(&manager) { manager_->RegisterContext(*this); }

TContext::~TContext()
{
    // The kind's destructor has discarded the GL context; nothing may point here any more.
    for (TContextHandle* handle : ownedHandles_) handle->Forget();
    LeaveSharingGroup();
    if (current_ == this) current_ = nullptr;
    try {
        manager_->UnregisterContext(*this);
    } catch (...) {
        // Cannot happen for a context made through its constructor; a destructor cannot raise.
    }
}

void TContext::CheckNotActive() const
{
    if (IsActive()) throw EContext("Cannot alter an active context");
}

void TContext::SetColorBits(int bits) { CheckNotActive(); colorBits_ = bits; }
void TContext::SetAlphaBits(int bits) { CheckNotActive(); alphaBits_ = bits; }
void TContext::SetDepthBits(int bits) { CheckNotActive(); depthBits_ = bits; }
void TContext::SetStencilBits(int bits) { CheckNotActive(); stencilBits_ = bits; }
void TContext::SetAccumBits(int bits) { CheckNotActive(); accumBits_ = bits; }
void TContext::SetAuxBuffers(int count) { CheckNotActive(); auxBuffers_ = count; }
void TContext::SetOptions(const TRCOptions& options) { CheckNotActive(); options_ = options; }
void TContext::SetAntiAliasing(TAntiAliasing antiAliasing) { CheckNotActive(); antiAliasing_ = antiAliasing; }

platform::GLPixelFormat TContext::PixelFormatWish() const
{
    platform::GLPixelFormat format;
    format.doubleBuffer = options_.contains(rcoDoubleBuffered);
    format.stereo = options_.contains(rcoStereo);
    format.colorBits = colorBits_;
    format.alphaBits = alphaBits_;
    format.depthBits = depthBits_;
    format.stencilBits = stencilBits_;
    format.accumBits = accumBits_;
    // SDL offers no auxiliary buffers; that wish is kept but cannot be asked for.
    switch (antiAliasing_) {
    case aa2x:
    case aa2xHQ: format.multisample = 2; break;
    case aa4x:
    case aa4xHQ: format.multisample = 4; break;
    default: format.multisample = 0; break;
    }
    return format;
}

void TContext::CreateOnSurface(platform::Window& surface, TContext* shareWith)
{
    if (IsValid()) throw EContext("Context already created");
    if (shareWith && !shareWith->IsValid()) throw EContext("Context not created");
    acceleration_ = acUnknown;
    DoCreateContext(surface, shareWith);
    sharedContexts_ = {this};
    manager_->ContextCreated();
    if (shareWith) shareWith->ShareListsWith(*this);
}

void TContext::Activate()
{
    if (activationCount_ == 0) {
        if (!IsValid()) throw EContext("Context not created");
        DoActivate();
        current_ = this;
    } else {
        Assert(current_ == this);
    }
    ++activationCount_;
}

void TContext::Deactivate()
{
    // Checked first, so that one deactivation too many says so whichever context is current.
    if (activationCount_ == 0) throw EContext("Unbalanced context activations");
    Assert(current_ == this);
    if (activationCount_ == 1) {
        if (!IsValid()) throw EContext("Context not created");
        DoDeactivate();
        current_ = nullptr;
    }
    --activationCount_;
}

void TContext::Present()
{
    if (IsValid() && options_.contains(rcoDoubleBuffered)) DoPresent();
}

void TContext::ShareListsWith(TContext& other)
{
    if (!IsValid()) throw EContext("Context not created");
    if (Contains(sharedContexts_, &other)) return;
    DoShareLists(other);
    std::vector<TContext*> members = sharedContexts_;
    for (TContext* member : other.sharedContexts_)
        if (!Contains(members, member)) members.push_back(member);
    if (!Contains(members, &other)) members.push_back(&other);
    SetSharedContexts(members);
}

void TContext::SetSharedContexts(const std::vector<TContext*>& members)
{
    for (TContext* member : members) member->sharedContexts_ = members;
}

void TContext::LeaveSharingGroup()
{
    std::vector<TContext*> rest;
    for (TContext* member : sharedContexts_)
        if (member != this) rest.push_back(member);
    SetSharedContexts(rest);
    sharedContexts_.clear();
}

void TContext::RemoveHandle(TContextHandle* handle) { std::erase(ownedHandles_, handle); }

TContext* TContext::SwitchTo(TContext* target)
{
    TContext* previous = current_;
    if (previous == target) return previous;
    if (previous) previous->DoDeactivate();
    current_ = nullptr;
    if (target) {
        target->DoActivate();
        current_ = target;
    }
    return previous;
}

void TContext::Discard()
{
    if (!IsValid()) {
        acceleration_ = acUnknown;
        return;
    }
    // The previous context keeps its activation count while this one borrows the GL binding.
    TContext* previous = current_ == this ? nullptr : current_;
    std::exception_ptr failure;
    bool active = false;
    try {
        SwitchTo(this);
        active = true;
    } catch (...) {
        failure = std::current_exception();
    }

    TContext* partner = nullptr;
    for (TContext* member : sharedContexts_)
        if (member != this) {
            partner = member;
            break;
        }
    std::vector<TContextHandle*> handles;
    handles.swap(ownedHandles_);
    for (auto it = handles.rbegin(); it != handles.rend(); ++it) {
        TContextHandle* handle = *it;
        if (partner) {
            handle->renderingContext_ = partner;
            partner->ownedHandles_.push_back(handle);
            continue;
        }
        // Without the context bound the object goes with the GL context itself.
        if (active) {
            try {
                handle->DoDestroyHandle();
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        }
        handle->Forget();
    }
    manager_->ContextDestroyed();
    LeaveSharingGroup();

    activationCount_ = 0;
    try {
        if (current_ == this) {
            current_ = nullptr;
            DoDeactivate();
        }
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    try {
        DoDestroyContext();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    try {
        if (previous) SwitchTo(previous);
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    acceleration_ = acUnknown;
    if (failure) std::rethrow_exception(failure);
}

// ---- TSDLContext ----

TSDLContext::~TSDLContext()
{
    try {
        Discard();
    } catch (...) {
        // Discard has let go of everything before raising; a destructor cannot raise.
    }
}

void TSDLContext::DoCreateContext(platform::Window& surface, TContext* shareWith)
{
    TSDLContext* base = nullptr;
    if (shareWith) {
        base = dynamic_cast<TSDLContext*>(shareWith);
        if (!base) throw EContext("Incompatible contexts");
    }
    auto choice = platform::ChooseGLFormat(PixelFormatWish(), platform::ProbeGLFormat);
    if (!choice) throw Exception("OS Error : " + platform::GLContext::LastError());
    if (!(surface.PixelFormat() == choice->format)) {
        if (OnRemakeSurface)
            OnRemakeSurface(surface, choice->format);
        else
            surface.Remake(choice->format);
    }
    gl_ = std::make_unique<platform::GLContext>(surface, base ? base->gl_.get() : nullptr);
    acceleration_ = gl_->Accelerated() ? acHardware : acSoftware;
    // The context goes before its window, whoever destroys the window.
    destroyListener_ = surface.AddDestroyListener([this] { Discard(); });
    lastSeenContext = 0;
}

void TSDLContext::DoShareLists(TContext& other)
{
    auto* peer = dynamic_cast<TSDLContext*>(&other);
    if (!peer) throw EContext("Incompatible contexts");
    if (!peer->gl_) throw EContext("Context not created");
    if (gl_->SharesListsWith(*peer->gl_)) return;
    // GL contexts join lists only when they are made. A peer that holds nothing yet, alone in its
    // group, is made again sharing with this one; its GL state starts afresh.
    if (!peer->OwnedHandles().empty() || peer->SharedContexts().size() > 1)
        throw EContext("Incompatible contexts");
    bool wasCurrent = Current() == peer;
    platform::Window& surface = peer->gl_->Surface();
    auto remade = std::make_unique<platform::GLContext>(surface, gl_.get());
    peer->gl_ = std::move(remade);
    lastSeenContext = 0;
    if (wasCurrent) peer->DoActivate();
}

void TSDLContext::DoDestroyContext()
{
    gl_->Surface().RemoveDestroyListener(destroyListener_);
    destroyListener_ = 0;
    gl_.reset();
}

void TSDLContext::DoActivate()
{
    if (!gl_->MakeCurrent()) {
        std::string text = platform::GLContext::LastError();
        char code[16];
        std::snprintf(code, sizeof code, "%X", static_cast<unsigned>(platform::GLContext::LastErrorCode()));
        throw EContext("Context activation failed: " + std::string(code) + ", " + text);
    }
    if (gl_->Serial() != lastSeenContext) {
        ReadCapabilities();
        lastSeenContext = gl_->Serial();
    }
    if ((AntiAliasing() == aa2xHQ || AntiAliasing() == aa4xHQ) && capabilities.HasExtension("GL_ARB_multisample") &&
        capabilities.HasExtension("GL_NV_multisample_filter_hint"))
        glHint(kMultisampleFilterHint, GL_NICEST);
}

void TSDLContext::DoDeactivate()
{
    if (!gl_->Release()) throw EContext("Context deactivation failed");
}

void TSDLContext::DoPresent() { gl_->SwapBuffers(); }

// ---- TContextManager ----

TContextManager::~TContextManager()
{
    if (processManager == this) processManager = nullptr;
}

std::unique_ptr<TContext> TContextManager::NewContext()
{
    ContextClass contextClass;
    {
        std::lock_guard guard(lock_);
        if (classes_.empty()) return nullptr;
        contextClass = classes_.front();
    }
    return contextClass(*this);
}

void TContextManager::RegisterContextClass(ContextClass contextClass)
{
    std::lock_guard guard(lock_);
    classes_.push_back(std::move(contextClass));
}

void TContextManager::ClearContextClasses()
{
    std::lock_guard guard(lock_);
    classes_.clear();
}

void TContextManager::RegisterContext(TContext& context)
{
    std::lock_guard guard(lock_);
    if (Contains(contexts_, &context)) throw EContext("Invalid context registration");
    contexts_.push_back(&context);
}

void TContextManager::UnregisterContext(TContext& context)
{
    bool done = false;
    {
        std::lock_guard guard(lock_);
        if (!Contains(contexts_, &context)) throw EContext("Invalid context registration");
        std::erase(contexts_, &context);
        done = terminated_ && contexts_.empty();
    }
    if (done && processManager == this) delete this;
}

int TContextManager::ContextCount() const
{
    std::lock_guard guard(lock_);
    return static_cast<int>(contexts_.size());
}

int TContextManager::CreatedCount() const
{
    std::lock_guard guard(lock_);
    return createdCount_;
}

void TContextManager::ContextCreated()
{
    std::lock_guard guard(lock_);
    ++createdCount_;
}

void TContextManager::ContextDestroyed()
{
    std::lock_guard guard(lock_);
    --createdCount_;
}

void TContextManager::Terminate()
{
    bool done = false;
    {
        std::lock_guard guard(lock_);
        terminated_ = true;
        done = contexts_.empty();
    }
    if (done && processManager == this) delete this;
}

TContextManager& GLContextManager()
{
    if (!processManager) {
        processManager = new TContextManager;
        processManager->RegisterContextClass(
            [](TContextManager& manager) -> std::unique_ptr<TContext> { return std::make_unique<TSDLContext>(manager); });
    }
    return *processManager;
}

// ---- Handles ----

TContextHandle::~TContextHandle()
{
    if (renderingContext_) renderingContext_->RemoveHandle(this);
}

void TContextHandle::AcquireName()
{
    TContext* current = TContext::Current();
    Assert(current != nullptr);
    Assert(handle_ == 0);
    GLuint name = DoAllocateHandle();
    if (name == 0) return;
    handle_ = name;
    renderingContext_ = current;
    current->ownedHandles_.push_back(this);
}

void TContextHandle::ReleaseName()
{
    if (handle_ == 0) return;
    TContext* owner = renderingContext_;
    owner->RemoveHandle(this);
    // Whatever happens below, the handle no longer knows an object.
    struct Clear {
        TContextHandle* handle;
        ~Clear() { handle->Forget(); }
    } clear{this};
    TContext* current = TContext::Current();
    if (current && Contains(owner->SharedContexts(), current)) {
        DoDestroyHandle();
        return;
    }
    TContext* previous = TContext::SwitchTo(owner);
    std::exception_ptr failure;
    try {
        DoDestroyHandle();
    } catch (...) {
        failure = std::current_exception();
    }
    TContext::SwitchTo(previous);
    if (failure) std::rethrow_exception(failure);
}

void TContextHandle::Transfer(TContext& context)
{
    Assert(handle_ != 0 && renderingContext_ != nullptr);
    if (&context == renderingContext_) return;
    Assert(Contains(renderingContext_->SharedContexts(), &context));
    renderingContext_->RemoveHandle(this);
    context.ownedHandles_.push_back(this);
    renderingContext_ = &context;
}

void TContextHandle::ReleaseQuietly() noexcept
{
    try {
        ReleaseName();
    } catch (...) {
        // ReleaseName has forgotten the object before raising.
    }
}

void TContextHandle::Forget()
{
    handle_ = 0;
    renderingContext_ = nullptr;
}

GLuint TListHandle::DoAllocateHandle() { return glGenLists(1); }

void TListHandle::DoDestroyHandle()
{
    DrainGLErrors();
    glDeleteLists(Handle(), 1);
    CheckGLError();
}

GLuint TTextureHandle::DoAllocateHandle()
{
    GLuint name = 0;
    glGenTextures(1, &name);
    return name;
}

void TTextureHandle::DoDestroyHandle()
{
    glGetError();
    GLuint name = Handle();
    if (glIsTexture(name)) glDeleteTextures(1, &name);
    CheckGLError();
}

GLuint TVirtualHandle::DoAllocateHandle()
{
    GLuint name = 0;
    if (OnAllocate) OnAllocate(*this, name);
    return name;
}

void TVirtualHandle::DoDestroyHandle()
{
    DrainGLErrors();
    GLuint name = Handle();
    if (OnDestroy) OnDestroy(*this, name);
    CheckGLError();
}

}  // namespace sauno
