#include "material/texture.h"

#include <GL/glu.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/buffer.h"
#include "engine/statecache.h"
#include "material/rescale.h"
#include "platform/exception.h"
#include "platform/startup_report.h"

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
    if (bitmap_.Empty()) bitmap_ = BlankBitmap32(width_, height_);
    return bitmap_;
}

void TBlankImage::SetWidth(int value)
{
    if (value == width_) return;
    width_ = value;
    Invalidate();
}

void TBlankImage::SetHeight(int value)
{
    if (value == height_) return;
    height_ = value;
    Invalidate();
}

void TBlankImage::Assign(const TTextureImage& other)
{
    const auto& blank = dynamic_cast<const TBlankImage&>(other);
    width_ = blank.width_;
    height_ = blank.height_;
    Invalidate();
}

const TBitmap32& TPictureImage::ImageBitmap(GLenum)
{
    if (bitmap_.Empty()) {
        platform::StartupPhase phase("textures: picture to RGBA");
        PreparePicture();
        bitmap_.Assign(&picture_);
    }
    return bitmap_;
}

void TPictureImage::Assign(const TTextureImage& other)
{
    picture_.Assign(dynamic_cast<const TPictureImage&>(other).picture_);
    Invalidate();
}

void TPictureImage::AssignGraphic(const TGraphic* graphic)
{
    picture_.Assign(graphic);
    Invalidate();
}

void TPicFileImage::SetPictureFileName(const std::string& name)
{
    if (name == fileName_) return;
    fileName_ = name;
    loaded_ = false;
    Invalidate();
}

void TPicFileImage::Assign(const TTextureImage& other)
{
    const auto& file = dynamic_cast<const TPicFileImage&>(other);
    fileName_ = file.fileName_;
    loaded_ = file.loaded_;
    TPictureImage::Assign(other);
}

void TPicFileImage::AssignGraphic(const TGraphic* graphic)
{
    loaded_ = true;
    TPictureImage::AssignGraphic(graphic);
}

void TPicFileImage::PreparePicture()
{
    if (loaded_ || fileName_.empty()) return;
    picture_.SetGraphic(LoadPictureFile(texture_.ResolvePictureFileName(fileName_)));
    loaded_ = true;
}

const TBitmap32& TCubeMapImage::ImageBitmap(GLenum target)
{
    const int face = static_cast<int>(target) - GL_TEXTURE_CUBE_MAP_POSITIVE_X;
    TBitmap32& bitmap = bitmaps_[static_cast<size_t>(face >= 0 && face < 6 ? face : 0)];
    if (bitmap.Empty()) bitmap.Assign(&pictures_[static_cast<size_t>(face >= 0 && face < 6 ? face : 0)]);
    return bitmap;
}

void TCubeMapImage::Assign(const TTextureImage& other)
{
    const auto& cube = dynamic_cast<const TCubeMapImage&>(other);
    for (size_t face = 0; face < pictures_.size(); ++face) pictures_[face].Assign(cube.pictures_[face]);
    Invalidate();
}

void TCubeMapImage::DropImageBitmap()
{
    for (auto& b : bitmaps_) b = TBitmap32{};
}

GLenum TCubeMapImage::NativeTextureTarget() const { return GL_TEXTURE_CUBE_MAP; }

bool TCubeMapImage::Uploadable() const
{
    const int size = pictures_[0].Width();
    return size > 0 && std::all_of(pictures_.begin(), pictures_.end(), [size](const TPicture& p) {
        return p.Width() == size && p.Height() == size;
    });
}

namespace {

std::map<std::string, TTextureImageFactory, std::less<>>& ImageClasses()
{
    static std::map<std::string, TTextureImageFactory, std::less<>> classes = {
        {"TBlankImage", [](TTexture& t) { return std::make_unique<TBlankImage>(t); }},
        {"TPersistentImage", [](TTexture& t) { return std::make_unique<TPersistentImage>(t); }},
        {"TPicFileImage", [](TTexture& t) { return std::make_unique<TPicFileImage>(t); }},
        {"TCubeMapImage", [](TTexture& t) { return std::make_unique<TCubeMapImage>(t); }},
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
    std::vector<int> units;
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

namespace {
// Every scene pass starts with texture coordinates going to the first unit.
const bool mainRoutingAtEveryPass =
    (SetMainTexCoordRoutingHandler([] { SetTexCoordRouting(TTexCoordRouting::tcrMain); }), true);
}  // namespace

TTexCoordRouting TexCoordRouting() { return routing.mode; }

void SetTexCoordRoutingList(std::vector<int> units)
{
    routing.units = std::move(units);
    SetTexCoordRouting(TTexCoordRouting::tcrList);
}
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
        case TTexCoordRouting::tcrList:
            for (int unit : routing.units)
                if (unit != 1 || !routing.secondWithheld) glMultiTexCoord2f(GL_TEXTURE0 + static_cast<GLenum>(unit), s, t);
            break;
    }
}

// ---- Texture ------------------------------------------------------------------------------

TTexture::TTexture(TPersistent* owner)
    : TUpdateAbleObject(owner),
      image_(std::make_unique<TPersistentImage>(*this)),
      mappingS_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csFree, TVector4{1, 0, 0, 0})),
      mappingT_(std::make_unique<TCoordinates>(this, TCoordinatesStyle::csFree, TVector4{1, 0, 0, 0})),
      // The environment colour is one of the texture's parameters: a change flags them (the
      // notice itself goes up through the owner).
      envColor_(std::make_unique<TColor>(this, TVector4{0, 0, 0, 0}, [this](TUpdateAbleObject*) { paramsChanged_ = true; }))
{
}

TTexture::~TTexture() { DropPrepared(); }

void TTexture::NotifyImageChange()
{
    DropPrepared();  // made from what was
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

void TTexture::Assign(const TTexture* other)
{
    if (other == this) return;
    // One notice at the end, also when copying the image fails half-way.
    BeginUpdate();
    struct Bracket {
        TTexture& texture;
        ~Bracket()
        {
            texture.imageChanged_ = texture.paramsChanged_ = true;
            texture.EndUpdate();
        }
    } bracket{*this};
    if (!other) {
        SetDisabled(true);
        image_ = std::make_unique<TPersistentImage>(*this);
        imageClassName_ = "TPersistentImage";
    } else {
        if (other->imageClassName_ != imageClassName_) SetImageClassName(other->imageClassName_);
        image_->Assign(*other->image_);
        SetImageAlpha(other->imageAlpha_);
        SetImageBrightness(other->imageBrightness_);
        SetImageGamma(other->imageGamma_);
        SetTextureMode(other->textureMode_);
        SetTextureWrap(other->textureWrap_);
        SetTextureFormat(other->textureFormat_);
        SetCompression(other->compression_);
        SetFilteringQuality(other->filteringQuality_);
        SetMinFilter(other->minFilter_);
        SetMagFilter(other->magFilter_);
        SetNormalMapScale(other->normalMapScale_);
        envColor_->SetColor(other->envColor_->Color());
        SetMappingMode(other->mappingMode_);
        mappingS_->Assign(*other->mappingS_);
        mappingT_->Assign(*other->mappingT_);
        SetDisabled(other->disabled_);
    }
}

void TTexture::AssignPicture(const TPicture& picture) { AssignGraphic(picture.Graphic()); }

void TTexture::AssignGraphic(const TGraphic* graphic)
{
    if (!dynamic_cast<TPictureImage*>(image_.get())) SetImageClassName("TPersistentImage");
    static_cast<TPictureImage&>(*image_).AssignGraphic(graphic);
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

void TTexture::SetNormalMapScale(float value)
{
    if (value == normalMapScale_) return;
    normalMapScale_ = value;
    if (textureFormat_ == TTextureFormat::tfNormalMap) NotifyImageChange();
}
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

namespace {

// Grey level as height: the slope in x and y, times the strength, becomes the normal's colour.
void ToNormalMap(TBitmap32& bitmap, float scale, bool wrapX, bool wrapY)
{
    const int w = bitmap.Width, h = bitmap.Height;
    std::vector<float> height(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = bitmap.Pixel(x, y);
            height[size_t(y) * size_t(w) + size_t(x)] = (p[0] + p[1] + p[2]) / (3.0f * 255.0f);
        }
    auto at = [&](int x, int y) {
        x = wrapX ? (x + w) % w : std::clamp(x, 0, w - 1);
        y = wrapY ? (y + h) % h : std::clamp(y, 0, h - 1);
        return height[size_t(y) * size_t(w) + size_t(x)];
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float dx = (at(x + 1, y) - at(x - 1, y)) * scale * static_cast<float>(w);
            const float dy = (at(x, y + 1) - at(x, y - 1)) * scale * static_cast<float>(h);
            const float length = std::sqrt(dx * dx + dy * dy + 1);
            uint8_t* p = bitmap.Pixel(x, y);
            p[0] = static_cast<uint8_t>(std::lround((-dx / length * 0.5f + 0.5f) * 255));
            p[1] = static_cast<uint8_t>(std::lround((-dy / length * 0.5f + 0.5f) * 255));
            p[2] = static_cast<uint8_t>(std::lround((1 / length * 0.5f + 0.5f) * 255));
        }
}

}  // namespace

namespace {

// The largest side made ahead; a GL that allows less makes its own at upload.
constexpr int kLargestPreparedSide = 16384;

void ApplyPixelPasses(TBitmap32& bitmap, const TTexture::TPixelSettings& settings)
{
    ApplyImageAlpha(bitmap, settings.Alpha);
    if (settings.Brightness != 1) ImageBrightness(bitmap, settings.Brightness);
    if (settings.Gamma != 1) ImageGamma(bitmap, settings.Gamma);
}

// Level 0 of an upload, `bitmap` rescaled to `width` x `height`, and with `mipmaps` every
// level below it.
TMipmapChain UploadLevels(const TBitmap32& bitmap, int width, int height, bool mipmaps, bool ahead)
{
    TMipmapChain chain = MipmapChainFor(width, height, mipmaps);
    if (width != bitmap.Width || height != bitmap.Height) {
        platform::StartupPhase phase(ahead ? "ahead: rescale to powers of two" : "textures: rescale to powers of two");
        // Ahead, the other core is the game's own: one thread.
        RescaleImage(bitmap.Data, bitmap.Width, bitmap.Height, 4, chain.Level(0), width, height,
                     ahead ? 1 : RescaleThreads(int64_t{width} * height));
    } else {
        std::copy(bitmap.Data.begin(), bitmap.Data.end(), chain.Level(0).begin());
    }
    platform::StartupPhase phase(ahead ? "ahead: mipmaps" : "textures: mipmaps");
    BuildMipmaps(chain);
    return chain;
}

// What the worker does for one texture.
TTexture::TPreparedLevels PrepareLevels(TGraphic& picture, const TTexture::TPixelSettings& settings)
{
    TTexture::TPreparedLevels prepared{settings, 0, 0, {}};
    TBitmap32 bitmap;
    {
        platform::StartupPhase phase("ahead: decode and picture to RGBA");
        bitmap.Assign(&picture);
    }
    picture.ReleasePixels();
    prepared.BitmapWidth = bitmap.Width;
    prepared.BitmapHeight = bitmap.Height;
    if (bitmap.Empty()) return prepared;
    ApplyPixelPasses(bitmap, settings);
    prepared.Levels = UploadLevels(bitmap, PowerOfTwoAtLeast(bitmap.Width), PowerOfTwoAtLeast(bitmap.Height),
                                   settings.Mipmaps, true);
    return prepared;
}

}  // namespace

TTexture::TPixelSettings TTexture::PixelSettings() const
{
    return {imageAlpha_, imageBrightness_, imageGamma_,
            minFilter_ != TMinFilter::miNearest && minFilter_ != TMinFilter::miLinear};
}

// One texture's pixels to be made ahead. Whoever takes it first, the worker or the upload,
// makes them; the other leaves it.
struct TTexture::TPrepareOrder {
    std::unique_ptr<TGraphic> picture;  // a copy: the texture may change its own meanwhile
    TPixelSettings settings;
    std::promise<TPreparedLevels> levels;
    std::future<TPreparedLevels> result;
    std::atomic<bool> taken = false;

    bool Take() { return !taken.exchange(true); }
    void Run()
    {
        try {
            levels.set_value(PrepareLevels(*picture, settings));
        } catch (...) {
            levels.set_exception(std::current_exception());
        }
        picture.reset();
    }
};

void TTexture::PrepareAhead(std::span<TTexture* const> textures)
{
    std::vector<std::shared_ptr<TPrepareOrder>> orders;
    for (TTexture* texture : textures) {
        if (!texture || texture->disabled_ || texture->prepared_ ||
            texture->textureFormat_ == TTextureFormat::tfNormalMap)
            continue;
        auto* image = dynamic_cast<TPersistentImage*>(texture->image_.get());
        const TGraphic* graphic = image ? image->Picture().Graphic() : nullptr;
        if (!graphic || graphic->Empty() || PowerOfTwoAtLeast(graphic->Width() + 3) > kLargestPreparedSide ||
            PowerOfTwoAtLeast(graphic->Height()) > kLargestPreparedSide)
            continue;
        auto order = std::make_shared<TPrepareOrder>();
        try {
            order->picture = graphic->Clone();
        } catch (const Exception&) {
            continue;  // the upload raises it
        }
        order->settings = texture->PixelSettings();
        order->result = order->levels.get_future();
        texture->prepared_ = order;
        texture->preparedFrom_ = graphic;
        orders.push_back(std::move(order));
    }
    if (orders.empty()) return;
    try {
        // The thread touches nothing but its orders, and lets each go once it is done with it.
        std::thread([orders = std::move(orders)]() mutable {
            for (std::shared_ptr<TPrepareOrder>& order : orders) {
                if (order->Take()) order->Run();
                order.reset();
            }
            // The pictures' rows and bitmaps were freed into this thread's own heap, which
            // would keep them resident: give those pages back.
            malloc_trim(0);
        }).detach();
    } catch (const std::system_error&) {
        // Without the thread each upload takes its own order.
    }
}

void TTexture::DropPrepared()
{
    // Taken so that the worker passes it by; its copy of the picture goes now.
    if (prepared_ && prepared_->Take()) prepared_->picture.reset();
    prepared_.reset();
    preparedFrom_ = nullptr;
}

std::optional<TMipmapChain> TTexture::TakePrepared(int maxSize)
{
    if (!prepared_) return std::nullopt;
    const std::shared_ptr<TPrepareOrder> order = std::move(prepared_);
    const TGraphic* from = preparedFrom_;
    preparedFrom_ = nullptr;
    TPreparedLevels prepared;
    try {
        if (order->Take()) {
            platform::StartupPhase phase("textures: made at upload, before the worker came to them");
            order->Run();
        }
        platform::StartupPhase phase("textures: waiting for the pixels made ahead");
        prepared = order->result.get();
    } catch (...) {
        return std::nullopt;  // made here again, which raises the error where it always did
    }
    auto* image = dynamic_cast<TPersistentImage*>(image_.get());
    if (!image || image->Picture().Graphic() != from || prepared.Settings != PixelSettings() ||
        textureFormat_ == TTextureFormat::tfNormalMap)
        return std::nullopt;
    if (prepared.BitmapWidth <= 0 || prepared.BitmapHeight <= 0) return TMipmapChain{};
    const int width = std::min(PowerOfTwoAtLeast(prepared.BitmapWidth), maxSize);
    const int height = std::min(PowerOfTwoAtLeast(prepared.BitmapHeight), maxSize);
    if (prepared.Levels.Empty() || prepared.Levels.Levels[0].Width != width ||
        prepared.Levels.Levels[0].Height != height)
        return std::nullopt;
    return std::move(prepared.Levels);
}

void TTexture::UploadImage(GLenum target)
{
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const GLenum internalFormat = InternalFormat();
    const TPixelSettings settings = PixelSettings();
    std::optional<TMipmapChain> levels;
    if (target == GL_TEXTURE_2D) levels = TakePrepared(maxSize);
    if (levels && levels->Empty()) return;  // the name stays without an image
    if (levels) {
        CheckGLError();
    } else {
        const TBitmap32& source = image_->ImageBitmap(target);
        if (source.Empty()) return;
        // The pixel passes work on a copy; with none to make, the image's bitmap is used as it is.
        const bool passes = textureFormat_ == TTextureFormat::tfNormalMap ||
                            imageAlpha_ != TTextureImageAlpha::tiaDefault || imageBrightness_ != 1 ||
                            imageGamma_ != 1;
        TBitmap32 copy;
        if (passes) {
            copy.Assign(source);
            if (textureFormat_ == TTextureFormat::tfNormalMap)
                ToNormalMap(copy, normalMapScale_,
                            textureWrap_ == TTextureWrap::twBoth || textureWrap_ == TTextureWrap::twHorizontal,
                            textureWrap_ == TTextureWrap::twBoth || textureWrap_ == TTextureWrap::twVertical);
            ApplyPixelPasses(copy, settings);
        }
        const TBitmap32& bitmap = passes ? copy : source;
        CheckGLError();
        const int width = std::min(PowerOfTwoAtLeast(bitmap.Width), static_cast<int>(maxSize));
        const int height = std::min(PowerOfTwoAtLeast(bitmap.Height), static_cast<int>(maxSize));
        levels = UploadLevels(bitmap, width, height, settings.Mipmaps, false);
    }

    platform::StartupPhase uploading("textures: upload");
    // Every level is made here: the driver's own generator would cost a shader of its own at
    // its first use, and its levels are these to within one step of a channel.
    if (GLCapabilities().HasExtension("GL_SGIS_generate_mipmap") && target == GL_TEXTURE_2D)
        glTexParameteri(target, GL_GENERATE_MIPMAP_SGIS, 0);
    for (size_t i = 0; i < levels->Levels.size(); ++i) {
        const TMipmapLevel& level = levels->Levels[i];
        glTexImage2D(target, static_cast<GLint>(i), static_cast<GLint>(internalFormat), level.Width, level.Height, 0,
                     GL_RGBA, GL_UNSIGNED_BYTE, levels->Level(i).data());
    }
    texWidth_ = levels->Levels[0].Width;
    texHeight_ = levels->Levels[0].Height;
    GLint memory = -1;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &memory);
    textureMemory_ = glGetError() == GL_NO_ERROR ? memory : -1;
    DrainGLErrors();
}

GLuint TTexture::EnsureTexture()
{
    if (handle_.Handle() == 0 || imageChanged_ || paramsChanged_) {
        if (handle_.Handle() == 0) handle_.AcquireName();
        Assert(handle_.Handle() != 0);
        GLenum target = image_->NativeTextureTarget();
        const bool cubeMaps = GLCapabilities().HasExtension("GL_ARB_texture_cube_map");
        if (target == GL_TEXTURE_CUBE_MAP && !cubeMaps) target = 0;
        if (target != 0) {
            glBindTexture(target, handle_.Handle());
            SetParameters(target);
        }
        imageChanged_ = paramsChanged_ = false;
        platform::StartupPhase phase("textures");
        if (target == GL_TEXTURE_2D) {
            UploadImage(GL_TEXTURE_2D);
        } else if (target == GL_TEXTURE_CUBE_MAP && static_cast<TCubeMapImage&>(*image_).Uploadable()) {
            for (GLenum face = 0; face < 6; ++face) UploadImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face);
        }
        image_->DropImageBitmap();
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
    const bool cubeMap = image_->NativeTextureTarget() == GL_TEXTURE_CUBE_MAP;
    if (cubeMap && !GLCapabilities().HasExtension("GL_ARB_texture_cube_map")) return;
    const TGLState state = cubeMap ? TGLState::stTextureCubeMap : TGLState::stTexture2D;
    const GLenum target = cubeMap ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    if (cache) {
        cache->Enable(state);
        cache->BindTexture(0, target, name);
    } else {
        glEnable(target);
        glBindTexture(target, name);
    }
    ApplyMappingMode();
    SetTexCoordRouting(TTexCoordRouting::tcrMain);
}

void TTexture::ApplyMappingMode()
{
    static constexpr GLint modes[] = {GL_DECAL, GL_MODULATE, GL_BLEND, GL_REPLACE};
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, modes[static_cast<int>(textureMode_)]);
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, envColor_->Color().Data());
    auto generate = [](GLint mode, bool withR) {
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, mode);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, mode);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
        if (withR) {
            glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, mode);
            glEnable(GL_TEXTURE_GEN_R);
        }
    };
    // The cube-map modes look up directions in world space: the view's rotation is undone.
    auto loadViewInverse = [] {
        GLfloat view[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, view);
        GLfloat inverse[16] = {view[0], view[4], view[8], 0, view[1], view[5], view[9], 0,
                               view[2], view[6], view[10], 0, 0, 0, 0, 1};
        glMatrixMode(GL_TEXTURE);
        glLoadMatrixf(inverse);
        glMatrixMode(GL_MODELVIEW);
    };
    const bool cubeMaps = GLCapabilities().HasExtension("GL_ARB_texture_cube_map");
    switch (mappingMode_) {
        case TTextureMappingMode::tmmUser: break;
        case TTextureMappingMode::tmmObjectLinear:
        case TTextureMappingMode::tmmEyeLinear: {
            const bool object = mappingMode_ == TTextureMappingMode::tmmObjectLinear;
            const GLenum plane = object ? GL_OBJECT_PLANE : GL_EYE_PLANE;
            generate(object ? GL_OBJECT_LINEAR : GL_EYE_LINEAR, false);
            glTexGenfv(GL_S, plane, mappingS_->AsVector().Data());
            glTexGenfv(GL_T, plane, mappingT_->AsVector().Data());
            break;
        }
        case TTextureMappingMode::tmmSphere: generate(GL_SPHERE_MAP, false); break;
        case TTextureMappingMode::tmmCubeMapReflection:
        case TTextureMappingMode::tmmCubeMapCamera:
            if (!cubeMaps) break;
            generate(GL_REFLECTION_MAP, true);
            loadViewInverse();
            break;
        case TTextureMappingMode::tmmCubeMapNormal:
            if (!cubeMaps) break;
            generate(GL_NORMAL_MAP, true);
            loadViewInverse();
            break;
        case TTextureMappingMode::tmmCubeMapLight0:
            if (!cubeMaps) break;
            generate(GL_NORMAL_MAP, true);
            LoadLight0Frame();
            break;
    }
}

// The normals' cube looked up in the frame of the first light source: its direction (from the
// eye towards it, as GL keeps its position in eye space) becomes +X, so that one cube holds
// the light's brightness for any place of the light. A light on the eye gives no direction:
// the cube is then looked up as the normals stand.
void TTexture::LoadLight0Frame()
{
    GLfloat position[4] = {0, 0, 1, 0};
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    TVector3 toward{position[0], position[1], position[2]};
    GLfloat frame[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (Length3(toward) > 1e-6f) {
        const TVector3 x = Normalize(toward);
        const TVector3 helper = std::fabs(x.y) < 0.9f ? TVector3{0, 1, 0} : TVector3{1, 0, 0};
        const TVector3 z = Normalize(Cross(x, helper));
        const TVector3 y = Cross(z, x);
        // Rows x, y and z: the light's direction goes to (1, 0, 0). Column-major storage.
        const TVector3 rows[3] = {x, y, z};
        for (int r = 0; r < 3; ++r) {
            frame[0 + r] = rows[r].x;
            frame[4 + r] = rows[r].y;
            frame[8 + r] = rows[r].z;
        }
    }
    glMatrixMode(GL_TEXTURE);
    glLoadMatrixf(frame);
    glMatrixMode(GL_MODELVIEW);
}

void TTexture::UnApplyMappingMode()
{
    if (mappingMode_ == TTextureMappingMode::tmmUser) return;
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
}

void TTexture::ApplyAsSecond(TRenderContextInfo&, const TMatrix4* textureMatrix)
{
    if (disabled_) return;
    glActiveTexture(GL_TEXTURE1);
    const GLuint name = EnsureTexture();
    const GLenum target = image_->NativeTextureTarget() == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    glEnable(target);
    glBindTexture(target, name);
    if (textureMatrix) {
        glMatrixMode(GL_TEXTURE);
        glLoadMatrixf(textureMatrix->Data());
        glMatrixMode(GL_MODELVIEW);
    }
    ApplyMappingMode();
    glActiveTexture(GL_TEXTURE0);
}

void TTexture::RevertAsSecond(TRenderContextInfo&, bool textureMatrixLoaded)
{
    if (disabled_) return;
    glActiveTexture(GL_TEXTURE1);
    UnApplyMappingMode();
    const bool cubeMap = image_->NativeTextureTarget() == GL_TEXTURE_CUBE_MAP;
    if (textureMatrixLoaded || (cubeMap && mappingMode_ != TTextureMappingMode::tmmUser)) {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    }
    glDisable(cubeMap ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
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
    UnApplyMappingMode();
}

}  // namespace sauno
