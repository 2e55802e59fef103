#pragma once
// The texture of a material: an image that supplies pixels, the GL settings of the texture and a
// texture handle living in a rendering context. Applying it makes sure the GL texture is up to
// date (converted to RGBA, alpha and colour passes, rescaled to powers of two, uploaded with
// mipmaps), binds it through the state cache and sets the environment.
#include <GL/gl.h>

#include <array>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "material/export.h"
#include "engine/context.h"
#include "engine/coordinates.h"
#include "engine/rendercontextinfo.h"
#include "material/bitmap32.h"
#include "material/mipmap.h"
#include "material/picture.h"

namespace sauno {

// Names and order are part of the scene-description format.
enum class TMagFilter : uint8_t { maNearest, maLinear };
enum class TMinFilter : uint8_t {
    miNearest, miLinear, miNearestMipmapNearest, miLinearMipmapNearest, miNearestMipmapLinear, miLinearMipmapLinear
};
enum class TTextureMode : uint8_t { tmDecal, tmModulate, tmBlend, tmReplace };
enum class TTextureWrap : uint8_t { twBoth, twNone, twVertical, twHorizontal };
enum class TTextureFormat : uint8_t {
    tfDefault, tfRGB, tfRGBA, tfRGB16, tfRGBA16, tfAlpha, tfLuminance, tfLuminanceAlpha, tfIntensity, tfNormalMap
};
enum class TTextureCompression : uint8_t { tcDefault, tcNone, tcStandard, tcHighQuality, tcHighSpeed };
enum class TTextureFilteringQuality : uint8_t { tfIsotropic, tfAnisotropic };
enum class TTextureMappingMode : uint8_t {
    tmmUser, tmmObjectLinear, tmmEyeLinear, tmmSphere, tmmCubeMapReflection, tmmCubeMapNormal, tmmCubeMapLight0,
    tmmCubeMapCamera
};

class TTexture;

// The GL value of a minification filter.
SAUNO_MATERIAL_EXPORT GLint MinFilterValue(TMinFilter filter);
// The smallest power of two not below n (at most 2^30).
SAUNO_MATERIAL_EXPORT int PowerOfTwoAtLeast(int n);

// A source of pixels for a texture. Any change of its content marks the texture's image changed.
class SAUNO_MATERIAL_EXPORT TTextureImage : public TUpdateAbleObject {
public:
    explicit TTextureImage(TTexture& owner);
    // The 32-bit bitmap for a GL target, converted on first need and kept until dropped.
    virtual const TBitmap32& ImageBitmap(GLenum target) = 0;
    virtual void DropImageBitmap() {}
    virtual GLenum NativeTextureTarget() const { return GL_TEXTURE_2D; }
    virtual std::string_view ClassName() const = 0;
    // Copies the content of another image of the same class.
    virtual void Assign(const TTextureImage& other) = 0;
    // Tells the texture that the pixels changed.
    void Invalidate();

protected:
    TTexture& texture_;
};

// An image of a given size whose pixels are not initialised.
class SAUNO_MATERIAL_EXPORT TBlankImage : public TTextureImage {
public:
    using TTextureImage::TTextureImage;
    int Width() const { return width_; }
    int Height() const { return height_; }
    // A changed size invalidates the image.
    void SetWidth(int value);
    void SetHeight(int value);
    const TBitmap32& ImageBitmap(GLenum target) override;
    void DropImageBitmap() override { bitmap_ = TBitmap32{}; }
    std::string_view ClassName() const override { return "TBlankImage"; }
    void Assign(const TTextureImage& other) override;

private:
    int width_ = 256, height_ = 256;
    TBitmap32 bitmap_;
};

// Images made from one picture: the converted bitmap is kept until it is dropped.
class SAUNO_MATERIAL_EXPORT TPictureImage : public TTextureImage {
public:
    using TTextureImage::TTextureImage;
    TPicture& Picture() { return picture_; }
    const TBitmap32& ImageBitmap(GLenum target) override;
    // The decoded picture goes with the bitmap: once uploaded, the picture's own data is the
    // one copy kept, and it is decoded again should the texture need it.
    void DropImageBitmap() override
    {
        bitmap_ = TBitmap32{};
        if (picture_.Graphic()) picture_.Graphic()->ReleasePixels();
    }
    void Assign(const TTextureImage& other) override;
    // Takes a copy of `graphic` as the picture; none empties it.
    virtual void AssignGraphic(const TGraphic* graphic);

protected:
    // Brings the picture in before it is converted; nothing for a stored picture.
    virtual void PreparePicture() {}
    TPicture picture_;
    TBitmap32 bitmap_;
};

// The picture is stored inside the scene description.
class SAUNO_MATERIAL_EXPORT TPersistentImage : public TPictureImage {
public:
    using TPictureImage::TPictureImage;
    std::string_view ClassName() const override { return "TPersistentImage"; }
};

// The picture is read from a file by name when it is needed.
class SAUNO_MATERIAL_EXPORT TPicFileImage : public TPictureImage {
public:
    using TPictureImage::TPictureImage;
    const std::string& PictureFileName() const { return fileName_; }
    void SetPictureFileName(const std::string& name);
    std::string_view ClassName() const override { return "TPicFileImage"; }
    void Assign(const TTextureImage& other) override;
    // The copied picture stands for the file: it is not read again.
    void AssignGraphic(const TGraphic* graphic) override;

protected:
    void PreparePicture() override;

private:
    std::string fileName_;
    bool loaded_ = false;
};

// Six pictures for a cube map, in the face order +X, -X, +Y, -Y, +Z, -Z.
class SAUNO_MATERIAL_EXPORT TCubeMapImage : public TTextureImage {
public:
    using TTextureImage::TTextureImage;
    TPicture& Picture(int face) { return pictures_[static_cast<size_t>(face)]; }
    const TBitmap32& ImageBitmap(GLenum target) override;
    void DropImageBitmap() override;
    GLenum NativeTextureTarget() const override;
    std::string_view ClassName() const override { return "TCubeMapImage"; }
    void Assign(const TTextureImage& other) override;
    // True when the six pictures are square and of one size.
    bool Uploadable() const;

private:
    std::array<TPicture, 6> pictures_;
    std::array<TBitmap32, 6> bitmaps_;
};

using TTextureImageFactory = std::function<std::unique_ptr<TTextureImage>(TTexture& owner)>;
SAUNO_MATERIAL_EXPORT void RegisterTextureImageClass(std::string_view className, TTextureImageFactory factory);
// A new image of that class, or nullptr when the name is not registered.
SAUNO_MATERIAL_EXPORT std::unique_ptr<TTextureImage> CreateTextureImage(std::string_view className, TTexture& owner);

// The process-wide way texture coordinates reach GL.
enum class TTexCoordRouting : uint8_t { tcrDrop, tcrMain, tcrDual, tcrSecond, tcrList };
SAUNO_MATERIAL_EXPORT void SetTexCoordRouting(TTexCoordRouting mode);
// List routing: each call is made for every unit listed (unit 1 left out while withheld).
SAUNO_MATERIAL_EXPORT void SetTexCoordRoutingList(std::vector<int> units);
SAUNO_MATERIAL_EXPORT TTexCoordRouting TexCoordRouting();
// While withheld, dual routing gives main and second routing gives drop.
SAUNO_MATERIAL_EXPORT void SetSecondTextureUnitWithheld(bool withheld);
SAUNO_MATERIAL_EXPORT void BeginTexCoordRoutingUpdate();
SAUNO_MATERIAL_EXPORT void EndTexCoordRoutingUpdate();
SAUNO_MATERIAL_EXPORT void RoutedTexCoord2f(float s, float t);

class SAUNO_MATERIAL_EXPORT TTexture : public TUpdateAbleObject {
public:
    explicit TTexture(TPersistent* owner);
    ~TTexture() override;

    const std::string& ImageClassName() const { return imageClassName_; }
    // A different registered class replaces the image with a new, empty one of that class.
    void SetImageClassName(const std::string& name);
    TTextureImage& Image() { return *image_; }

    bool Disabled() const { return disabled_; }
    void SetDisabled(bool value);
    TTextureImageAlpha ImageAlpha() const { return imageAlpha_; }
    void SetImageAlpha(TTextureImageAlpha value);
    float ImageBrightness() const { return imageBrightness_; }
    void SetImageBrightness(float value);
    float ImageGamma() const { return imageGamma_; }
    void SetImageGamma(float value);
    TMagFilter MagFilter() const { return magFilter_; }
    void SetMagFilter(TMagFilter value);
    TMinFilter MinFilter() const { return minFilter_; }
    void SetMinFilter(TMinFilter value);
    TTextureMode TextureMode() const { return textureMode_; }
    void SetTextureMode(TTextureMode value);
    TTextureWrap TextureWrap() const { return textureWrap_; }
    void SetTextureWrap(TTextureWrap value);
    TTextureFormat TextureFormat() const { return textureFormat_; }
    void SetTextureFormat(TTextureFormat value);
    TTextureCompression Compression() const { return compression_; }
    void SetCompression(TTextureCompression value);
    TTextureFilteringQuality FilteringQuality() const { return filteringQuality_; }
    void SetFilteringQuality(TTextureFilteringQuality value);
    TTextureMappingMode MappingMode() const { return mappingMode_; }
    void SetMappingMode(TTextureMappingMode value);
    TColor& EnvColor() { return *envColor_; }
    // The planes of generated coordinates (object- and eye-linear mapping).
    TCoordinates& MappingSCoordinates() { return *mappingS_; }
    TCoordinates& MappingTCoordinates() { return *mappingT_; }

    // Copies another texture: its settings, both mapping planes and its image (replacing the
    // image object first when the other's is of another class); everything is built again.
    // None disables this texture and leaves it an empty persistent image.
    void Assign(const TTexture* other);
    // The image takes a copy of the picture (a non-picture image becomes a persistent one).
    void AssignPicture(const TPicture& picture);
    void AssignGraphic(const TGraphic* graphic);

    // Binds the texture on unit 0 through the state cache and sets the environment.
    void Apply(TRenderContextInfo& rci);
    void Revert(TRenderContextInfo& rci);
    // The same on texture unit 1, for a library material's second texture; `textureMatrix` is
    // that library material's, loaded on unit 1 when it is not the identity.
    void ApplyAsSecond(TRenderContextInfo& rci, const TMatrix4* textureMatrix);
    void RevertAsSecond(TRenderContextInfo& rci, bool textureMatrixLoaded);
    float NormalMapScale() const { return normalMapScale_; }
    void SetNormalMapScale(float value);
    // Builds and uploads when needed; answers the GL name.
    GLuint EnsureTexture();
    // Makes the pixels of these textures' first uploads on one other thread, one texture
    // after another: decoded, widened, through the alpha and colour passes, rescaled to powers
    // of two and with their mipmaps. An upload then takes them instead of making them, as
    // long as the image is unchanged and the settings still ask for the same pixels; else,
    // and on any failure there, it makes them itself as before. An upload that comes before
    // the thread has begun its texture makes them itself the same way, beside the thread. Enabled 2-D textures of
    // stored pictures without a normal map take part; the others are left to their upload.
    static void PrepareAhead(std::span<TTexture* const> textures);
    // Whether pixels made ahead wait for the next upload.
    bool PreparedAhead() const { return prepared_ != nullptr; }
    void ReleaseTextures();
    GLuint Handle() const { return handle_.Handle(); }
    int TexWidth() const { return texWidth_; }
    int TexHeight() const { return texHeight_; }
    // Bytes the driver reports for level 0; -1 without a figure.
    int TextureMemory() const { return textureMemory_; }

    // The image's pixels changed, or a parameter did.
    void NotifyImageChange();
    void NotifyParamsChange();
    // Disabling, enabling and leaving or entering generated coordinates change how the owner
    // maps the texture.
    std::function<void(TTexture& sender)> OnTextureMappingChange;
    // Lets the owner find a picture file by name (its folders, its rewriting); none keeps the name.
    std::function<std::string(const std::string& name)> OnResolvePictureFileName;
    std::string ResolvePictureFileName(const std::string& name) const
    {
        return OnResolvePictureFileName ? OnResolvePictureFileName(name) : name;
    }

    // What decides the pixels of an upload, beside the image and the GL size limit.
    struct TPixelSettings {
        TTextureImageAlpha Alpha;
        float Brightness, Gamma;
        bool Mipmaps;
        bool operator==(const TPixelSettings&) const = default;
    };
    struct TPreparedLevels {
        TPixelSettings Settings;
        int BitmapWidth = 0, BitmapHeight = 0;  // before the rescale
        TMipmapChain Levels;
    };

private:
    TPixelSettings PixelSettings() const;
    // The levels made ahead, when they are still what this upload would make; none otherwise.
    std::optional<TMipmapChain> TakePrepared(int maxSize);
    void DropPrepared();
    void SetParameters(GLenum target);
    void ApplyMappingMode();
    void UnApplyMappingMode();
    void LoadLight0Frame();
    void UploadImage(GLenum target);
    GLenum InternalFormat() const;

    std::string imageClassName_ = "TPersistentImage";
    std::unique_ptr<TTextureImage> image_;
    TTextureImageAlpha imageAlpha_ = TTextureImageAlpha::tiaDefault;
    float imageBrightness_ = 1, imageGamma_ = 1;
    TMagFilter magFilter_ = TMagFilter::maLinear;
    TMinFilter minFilter_ = TMinFilter::miLinearMipmapLinear;
    TTextureMode textureMode_ = TTextureMode::tmDecal;
    TTextureWrap textureWrap_ = TTextureWrap::twBoth;
    TTextureFormat textureFormat_ = TTextureFormat::tfDefault;
    TTextureCompression compression_ = TTextureCompression::tcDefault;
    TTextureFilteringQuality filteringQuality_ = TTextureFilteringQuality::tfIsotropic;
    TTextureMappingMode mappingMode_ = TTextureMappingMode::tmmUser;
    std::unique_ptr<TCoordinates> mappingS_, mappingT_;
    std::unique_ptr<TColor> envColor_;
    bool disabled_ = true;
    float normalMapScale_ = 0.125f;
    TTextureHandle handle_;
    bool imageChanged_ = true, paramsChanged_ = true;
    int texWidth_ = 0, texHeight_ = 0;
    int textureMemory_ = -1;
    // The order given to the worker for the next upload, and the picture it was made from.
    struct TPrepareOrder;
    std::shared_ptr<TPrepareOrder> prepared_;
    const TGraphic* preparedFrom_ = nullptr;
};

}  // namespace sauno
