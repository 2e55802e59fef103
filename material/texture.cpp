#include "material/texture.h"

#include <GL/glu.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "engine/statecache.h"
#include "material/jpegimage.h"
#include "platform/exception.h"

#ifndef GL_GENERATE_MIPMAP_SGIS
#define GL_GENERATE_MIPMAP_SGIS 0x8191
#endif
#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#endif
#ifndef GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB
#define GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB 0x86A0
#endif
#ifndef GL_COMPRESSED_RGB_ARB
#define GL_COMPRESSED_ALPHA_ARB 0x84E9
#define GL_COMPRESSED_LUMINANCE_ARB 0x84EA
#define GL_COMPRESSED_LUMINANCE_ALPHA_ARB 0x84EB
#define GL_COMPRESSED_INTENSITY_ARB 0x84EC
#define GL_COMPRESSED_RGB_ARB 0x84ED
#define GL_COMPRESSED_RGBA_ARB 0x84EE
#define GL_TEXTURE_COMPRESSION_HINT_ARB 0x84EF
#endif
#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

namespace sauno {

// ---- Images -------------------------------------------------------------------------------

TTextureImage::TTextureImage(TTexture& owner) : TUpdateAbleObject(&owner), texture_(owner) {}

void TTextureImage::Invalidate()
{
    DropImageBitmap();
    texture_.NotifyImageChange();
}

const TBitmap32& TBlankImage::ImageBitmap(GLenum)
{
    if (bitmap_.Empty()) bitmap_ = BlankBitmap32(Width, Height);
    return bitmap_;
}

const TBitmap32& TPictureImage::ImageBitmap(GLenum)
{
    if (bitmap_.Empty()) {
        PreparePicture();
        bitmap_.Assign(&picture_);
    }
    return bitmap_;
}

void TPicFileImage::SetPictureFileName(const std::string& name)
{
    if (name == fileName_) return;
    fileName_ = name;
    loaded_ = false;
    Invalidate();
}

void TPicFileImage::PreparePicture()
{
    if (loaded_ || fileName_.empty()) return;
    std::ifstream in(fileName_, std::ios::binary);
    if (!in) throw Exception("Could not open file: " + fileName_);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->LoadFromJPEG(bytes);
    picture_.SetGraphic(std::move(jpeg));
    loaded_ = true;
}

namespace {

std::map<std::string, TTextureImageFactory, std::less<>>& ImageClasses()
{
    static std::map<std::string, TTextureImageFactory, std::less<>> classes = {
        {"TBlankImage", [](TTexture& t) { return std::make_unique<TBlankImage>(t); }},
        {"TPersistentImage", [](TTexture& t) { return std::make_unique<TPersistentImage>(t); }},
        {"TPicFileImage", [](TTexture& t) { return std::make_unique<TPicFileImage>(t); }},
    };
    return classes;
}

}  // namespace

void RegisterTextureImageClass(std::string_view className, TTextureImageFactory factory)
{
    ImageClasses()[std::string(className)] = std::move(factory);
}

std::unique_ptr<TTextureImage> CreateTextureImage(std::string_view className, TTexture& owner)
{
    auto it = ImageClasses().find(className);
    return it == ImageClasses().end() ? nullptr : it->second(owner);
}

// ---- Texture-coordinate routing -----------------------------------------------------------

namespace {
struct Routing {
    TTexCoordRouting mode = TTexCoordRouting::tcrDrop;
    TTexCoordRouting requested = TTexCoordRouting::tcrDrop;
    bool secondWithheld = false;
    int updates = 0;
} routing;

TTexCoordRouting Effective(TTexCoordRouting mode)
{
    if (!routing.secondWithheld) return mode;
    if (mode == TTexCoordRouting::tcrDual) return TTexCoordRouting::tcrMain;
    if (mode == TTexCoordRouting::tcrSecond) return TTexCoordRouting::tcrDrop;
    return mode;
}
}  // namespace

void SetTexCoordRouting(TTexCoordRouting mode)
{
    routing.requested = mode;
    if (routing.updates == 0) routing.mode = Effective(mode);
}

TTexCoordRouting TexCoordRouting() { return routing.mode; }
void SetSecondTextureUnitWithheld(bool withheld) { routing.secondWithheld = withheld; }
void BeginTexCoordRoutingUpdate() { ++routing.updates; }

void EndTexCoordRoutingUpdate()
{
    if (routing.updates <= 0) throw EAssertionFailed();
    // A request made inside the bracket takes effect when the outermost one closes.
    if (--routing.updates == 0 && Effective(routing.requested) != routing.mode)
        routing.mode = Effective(routing.requested);
}

void RoutedTexCoord2f(float s, float t)
{
    switch (routing.mode) {
        case TTexCoordRouting::tcrDrop: break;
        case TTexCoordRouting::tcrMain: glTexCoord2f(s, t); break;
        case TTexCoordRouting::tcrDual:
            glTexCoord2f(s, t);
            [[fallthrough]];
        case TTexCoordRouting::tcrSecond: glMultiTexCoord2f(GL_TEXTURE1, s, t); break;
    }
}

// ---- Texture ------------------------------------------------------------------------------

TTexture::TTexture(TPersistent* owner)
    : TUpdateAbleObject(owner),
      image_(std::make_unique<TPersistentImage>(*this)),
      mappingS_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csFree, TVector4{1, 0, 0, 0})),
      mappingT_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csFree, TVector4{1, 0, 0, 0})),
      envColor_(std::make_unique<TColor>(this, TVector4{0, 0, 0, 0}))
{
}

TTexture::~TTexture() = default;

void TTexture::NotifyImageChange()
{
    imageChanged_ = true;
    ReportChange(this);
}

void TTexture::NotifyParamsChange()
{
    paramsChanged_ = true;
    ReportChange(this);
}

void TTexture::SetImageClassName(const std::string& name)
{
    if (name == imageClassName_) return;
    std::unique_ptr<TTextureImage> image = CreateTextureImage(name, *this);
    if (!image) throw Exception("Texture image class " + name + " not found");
    image_ = std::move(image);
    imageClassName_ = name;
    NotifyImageChange();
}

void TTexture::SetDisabled(bool value)
{
    if (value == disabled_) return;
    disabled_ = value;
    ReportChange(this);
    if (OnTextureMappingChange) OnTextureMappingChange(*this);
}

#define SAUNO_TEXTURE_SETTER(Name, field, notify) \
    void TTexture::Set##Name(decltype(field) value) \
    {                                               \
        if (value == field) return;                 \
        field = value;                              \
        notify();                                   \
    }

SAUNO_TEXTURE_SETTER(ImageAlpha, imageAlpha_, NotifyImageChange)
SAUNO_TEXTURE_SETTER(ImageBrightness, imageBrightness_, NotifyImageChange)
SAUNO_TEXTURE_SETTER(ImageGamma, imageGamma_, NotifyImageChange)
SAUNO_TEXTURE_SETTER(MagFilter, magFilter_, NotifyParamsChange)
SAUNO_TEXTURE_SETTER(MinFilter, minFilter_, NotifyParamsChange)
SAUNO_TEXTURE_SETTER(TextureMode, textureMode_, NotifyParamsChange)
SAUNO_TEXTURE_SETTER(TextureWrap, textureWrap_, NotifyParamsChange)
SAUNO_TEXTURE_SETTER(TextureFormat, textureFormat_, NotifyParamsChange)
SAUNO_TEXTURE_SETTER(Compression, compression_, NotifyParamsChange)
SAUNO_TEXTURE_SETTER(FilteringQuality, filteringQuality_, NotifyParamsChange)
#undef SAUNO_TEXTURE_SETTER

void TTexture::SetMappingMode(TTextureMappingMode value)
{
    if (value == mappingMode_) return;
    const bool userChange = (value == TTextureMappingMode::tmmUser) != (mappingMode_ == TTextureMappingMode::tmmUser);
    mappingMode_ = value;
    ReportChange(this);
    if (userChange && OnTextureMappingChange) OnTextureMappingChange(*this);
}

GLenum TTexture::InternalFormat() const
{
    TTextureFormat format = textureFormat_ == TTextureFormat::tfDefault ? TTextureFormat::tfRGBA : textureFormat_;
    TTextureCompression compression =
        compression_ == TTextureCompression::tcDefault ? TTextureCompression::tcNone : compression_;
    if (!GLCapabilities().HasExtension("GL_ARB_texture_compression")) compression = TTextureCompression::tcNone;
    const bool compressed = compression != TTextureCompression::tcNone;
    if (compressed) {
        glHint(GL_TEXTURE_COMPRESSION_HINT_ARB, compression == TTextureCompression::tcHighQuality ? GL_NICEST
                                                : compression == TTextureCompression::tcHighSpeed ? GL_FASTEST
                                                                                                   : GL_DONT_CARE);
    }
    switch (format) {
        case TTextureFormat::tfRGB:
        case TTextureFormat::tfNormalMap: return compressed ? GL_COMPRESSED_RGB_ARB : GL_RGB8;
        case TTextureFormat::tfRGB16: return compressed ? GL_COMPRESSED_RGB_ARB : GL_RGB5;
        case TTextureFormat::tfRGBA16: return compressed ? GL_COMPRESSED_RGBA_ARB : GL_RGBA4;
        case TTextureFormat::tfAlpha: return compressed ? GL_COMPRESSED_ALPHA_ARB : GL_ALPHA8;
        case TTextureFormat::tfLuminance: return compressed ? GL_COMPRESSED_LUMINANCE_ARB : GL_LUMINANCE8;
        case TTextureFormat::tfLuminanceAlpha:
            return compressed ? GL_COMPRESSED_LUMINANCE_ALPHA_ARB : GL_LUMINANCE8_ALPHA8;
        case TTextureFormat::tfIntensity: return compressed ? GL_COMPRESSED_INTENSITY_ARB : GL_INTENSITY8;
        default: return compressed ? GL_COMPRESSED_RGBA_ARB : GL_RGBA8;
    }
}

namespace {
GLint MinFilterValue(TMinFilter f)
{
    switch (f) {
        case TMinFilter::miNearest: return GL_NEAREST;
        case TMinFilter::miLinear: return GL_LINEAR;
        case TMinFilter::miNearestMipmapNearest: return GL_NEAREST_MIPMAP_NEAREST;
        case TMinFilter::miLinearMipmapNearest: return GL_LINEAR_MIPMAP_NEAREST;
        case TMinFilter::miNearestMipmapLinear: return GL_NEAREST_MIPMAP_LINEAR;
        default: return GL_LINEAR_MIPMAP_LINEAR;
    }
}

int PowerOfTwoAtLeast(int n)
{
    int p = 1;
    while (p < n && p < (1 << 30)) p <<= 1;
    return p;
}
}  // namespace

void TTexture::SetParameters(GLenum target)
{
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    const TGLCapabilities& caps = GLCapabilities();
    const bool edgeClamp = caps.MajorVersion > 1 || (caps.MajorVersion == 1 && caps.MinorVersion >= 2) ||
                           caps.HasExtension("GL_EXT_texture_edge_clamp");
    const GLint clamp = edgeClamp ? GL_CLAMP_TO_EDGE : GL_CLAMP;
    const bool repeatS = textureWrap_ == TTextureWrap::twBoth || textureWrap_ == TTextureWrap::twHorizontal;
    const bool repeatT = textureWrap_ == TTextureWrap::twBoth || textureWrap_ == TTextureWrap::twVertical;
    glTexParameteri(target, GL_TEXTURE_WRAP_S, repeatS ? GL_REPEAT : clamp);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, repeatT ? GL_REPEAT : clamp);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, MinFilterValue(minFilter_));
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, magFilter_ == TMagFilter::maNearest ? GL_NEAREST : GL_LINEAR);
    if (caps.HasExtension("GL_EXT_texture_filter_anisotropic"))
        glTexParameterf(target, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                        filteringQuality_ == TTextureFilteringQuality::tfAnisotropic ? 2.0f : 1.0f);
}

void TTexture::UploadImage(GLenum target)
{
    const TBitmap32& source = image_->ImageBitmap(target);
    if (source.Empty()) return;  // the name stays without an image
    const GLenum internalFormat = InternalFormat();
    TBitmap32 bitmap;
    bitmap.Assign(source);
    ApplyImageAlpha(bitmap, imageAlpha_);
    if (imageBrightness_ != 1) sauno::ImageBrightness(bitmap, imageBrightness_);
    if (imageGamma_ != 1) sauno::ImageGamma(bitmap, imageGamma_);
    CheckGLError();

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const int width = std::min(PowerOfTwoAtLeast(bitmap.Width), static_cast<int>(maxSize));
    const int height = std::min(PowerOfTwoAtLeast(bitmap.Height), static_cast<int>(maxSize));
    const uint8_t* pixels = bitmap.Data.data();
    std::vector<uint8_t> scaled;
    if (width != bitmap.Width || height != bitmap.Height) {
        scaled.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
        gluScaleImage(GL_RGBA, bitmap.Width, bitmap.Height, GL_UNSIGNED_BYTE, bitmap.Data.data(), width, height,
                      GL_UNSIGNED_BYTE, scaled.data());
        pixels = scaled.data();
    }
    const bool mipmaps = minFilter_ != TMinFilter::miNearest && minFilter_ != TMinFilter::miLinear;
    if (!mipmaps) {
        glTexImage2D(target, 0, static_cast<GLint>(internalFormat), width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    } else if (GLCapabilities().HasExtension("GL_SGIS_generate_mipmap") && target == GL_TEXTURE_2D) {
        glTexParameteri(target, GL_GENERATE_MIPMAP_SGIS, 1);
        glTexImage2D(target, 0, static_cast<GLint>(internalFormat), width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    } else {
        gluBuild2DMipmaps(target, static_cast<GLint>(internalFormat), width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    }
    texWidth_ = width;
    texHeight_ = height;
    GLint memory = -1;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &memory);
    textureMemory_ = glGetError() == GL_NO_ERROR ? memory : -1;
    DrainGLErrors();
    image_->DropImageBitmap();
}

GLuint TTexture::EnsureTexture()
{
    if (handle_.Handle() == 0 || imageChanged_ || paramsChanged_) {
        if (handle_.Handle() == 0) handle_.AcquireName();
        Assert(handle_.Handle() != 0);
        const GLenum target = image_->NativeTextureTarget();
        glBindTexture(target, handle_.Handle());
        SetParameters(target);
        imageChanged_ = paramsChanged_ = false;
        UploadImage(target);
    }
    return handle_.Handle();
}

void TTexture::ReleaseTextures()
{
    handle_.ReleaseName();
    imageChanged_ = paramsChanged_ = true;
    textureMemory_ = -1;
}

void TTexture::Apply(TRenderContextInfo& rci)
{
    TStateCache* cache = rci.stateCache;
    if (disabled_) {
        if (cache) cache->Disable(TGLState::stTexture2D);
        return;
    }
    const GLuint name = EnsureTexture();
    if (cache) {
        cache->Enable(TGLState::stTexture2D);
        cache->BindTexture(0, GL_TEXTURE_2D, name);
    } else {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, name);
    }
    static constexpr GLint modes[] = {GL_DECAL, GL_MODULATE, GL_BLEND, GL_REPLACE};
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, modes[static_cast<int>(textureMode_)]);
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, envColor_->Color().Data());
    switch (mappingMode_) {
        case TTextureMappingMode::tmmUser: break;
        case TTextureMappingMode::tmmObjectLinear:
        case TTextureMappingMode::tmmEyeLinear: {
            const bool object = mappingMode_ == TTextureMappingMode::tmmObjectLinear;
            const GLenum plane = object ? GL_OBJECT_PLANE : GL_EYE_PLANE;
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, object ? GL_OBJECT_LINEAR : GL_EYE_LINEAR);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, object ? GL_OBJECT_LINEAR : GL_EYE_LINEAR);
            glTexGenfv(GL_S, plane, mappingS_->AsVector().Data());
            glTexGenfv(GL_T, plane, mappingT_->AsVector().Data());
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
            break;
        }
        case TTextureMappingMode::tmmSphere:
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
            break;
        default: break;  // cube-map generation needs a cube-map image
    }
    SetTexCoordRouting(TTexCoordRouting::tcrMain);
}

void TTexture::Revert(TRenderContextInfo& rci)
{
    if (disabled_) return;
    TStateCache* cache = rci.stateCache;
    if (cache && cache->IsEnabled(TGLState::stTextureCubeMap)) {
        cache->Disable(TGLState::stTextureCubeMap);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    } else if (cache) {
        cache->Disable(TGLState::stTexture2D);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    if (mappingMode_ != TTextureMappingMode::tmmUser) {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        glDisable(GL_TEXTURE_GEN_R);
    }
}

}  // namespace sauno
