#pragma once
// A mirror of the GL state the engine changes most: enable bits, material colours, bound
// textures, polygon modes and the front face, so that redundant GL calls are skipped.
#include <GL/gl.h>

#include <array>
#include <bitset>
#include <cstdint>

#include "engine/export.h"
#include "engine/vectors.h"

namespace sauno {

// The cached capabilities, in index order.
enum class TGLState : uint8_t {
    stAlphaTest, stAutoNormal, stBlend, stColorMaterial, stCullFace, stDepthTest, stDither, stFog,
    stLighting, stLineSmooth, stLineStipple, stLogicOp, stNormalize, stPointSmooth, stPolygonSmooth,
    stPolygonStipple, stScissorTest, stStencilTest, stTexture1D, stTexture2D, stTextureCubeMap
};
inline constexpr int CachedStateCount = 21;
// The GL capability a cached state stands for.
SAUNO_ENGINE_EXPORT GLenum GLStateCapability(TGLState state);

class SAUNO_ENGINE_EXPORT TStateCache {
public:
    TStateCache();

    void Enable(TGLState state);
    void Disable(TGLState state);
    bool IsEnabled(TGLState state) const { return enabled_[static_cast<size_t>(state)]; }
    // Records `on` and sends it to GL whatever the cache held, so that the two agree again.
    void Force(TGLState state, bool on);

    void SetPolygonMode(GLenum face, GLenum mode);
    void SetMaterialColors(GLenum face, const TVector4& emission, const TVector4& ambient, const TVector4& diffuse,
                           const TVector4& specular, int32_t shininess);
    void SetMaterialAlpha(GLenum face, float alpha);
    // The caller has selected the texture unit already.
    void BindTexture(int unit, GLenum target, GLuint name);
    void SetTextureMatrix(const TMatrix4& matrix);
    void ResetTextureMatrix();
    void InvertFrontFace();
    bool FrontFaceCCW() const { return frontFaceCCW_; }
    // Forgets polygon modes, material colours and bindings so the next pass sends them again.
    void ResetForPass();

    GLuint BoundTexture(int unit) const { return boundTextures_[static_cast<size_t>(unit)]; }
    GLenum PolygonMode(int back) const { return polygonModes_[static_cast<size_t>(back)]; }

private:
    struct FaceColors {
        TVector4 emission, ambient, diffuse, specular;
        int32_t shininess = 0;
    };
    FaceColors& Face(GLenum face) { return face == GL_BACK ? back_ : front_; }
    void ResetMaterialColors();

    FaceColors front_, back_;
    std::bitset<CachedStateCount> enabled_;
    std::array<GLuint, 8> boundTextures_{};
    std::array<GLenum, 2> polygonModes_{};  // front, back; 0 = not yet set
    bool frontFaceCCW_ = true;
    bool textureMatrixIsIdentity_ = true;
};

}  // namespace sauno
