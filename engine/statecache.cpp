#include "engine/statecache.h"

#include <bit>
#include <cstring>

namespace sauno {

namespace {

constexpr GLenum capabilities[CachedStateCount] = {
    GL_ALPHA_TEST,   GL_AUTO_NORMAL,     GL_BLEND,        GL_COLOR_MATERIAL, GL_CULL_FACE,      GL_DEPTH_TEST,
    GL_DITHER,       GL_FOG,             GL_LIGHTING,     GL_LINE_SMOOTH,    GL_LINE_STIPPLE,   GL_LOGIC_OP,
    GL_NORMALIZE,    GL_POINT_SMOOTH,    GL_POLYGON_SMOOTH, GL_POLYGON_STIPPLE, GL_SCISSOR_TEST, GL_STENCIL_TEST,
    GL_TEXTURE_1D,   GL_TEXTURE_2D,      0x8513 /* GL_TEXTURE_CUBE_MAP */};

// Bit-for-bit comparison: a cached colour is only skipped when it is exactly the one in GL.
bool SameRGB(const TVector4& a, const TVector4& b) { return std::memcmp(&a, &b, 3 * sizeof(float)) == 0; }
bool SameRGBA(const TVector4& a, const TVector4& b) { return std::memcmp(&a, &b, 4 * sizeof(float)) == 0; }

// A colour value no real colour takes: every byte 0x7F.
TVector4 NoColor()
{
    const float f = std::bit_cast<float>(0x7F7F7F7Fu);
    return {f, f, f, f};
}

// The texture name no texture has, so that the next bind always binds.
constexpr GLuint NoTexture = 0xFFFFFFFFu;

}  // namespace

GLenum GLStateCapability(TGLState state) { return capabilities[static_cast<size_t>(state)]; }

TStateCache::TStateCache() = default;

void TStateCache::Enable(TGLState state)
{
    size_t i = static_cast<size_t>(state);
    if (enabled_[i]) return;
    enabled_[i] = true;
    glEnable(capabilities[i]);
}

void TStateCache::Disable(TGLState state)
{
    size_t i = static_cast<size_t>(state);
    if (!enabled_[i]) return;
    enabled_[i] = false;
    glDisable(capabilities[i]);
}

void TStateCache::Force(TGLState state, bool on)
{
    size_t i = static_cast<size_t>(state);
    enabled_[i] = on;
    if (on) glEnable(capabilities[i]);
    else glDisable(capabilities[i]);
}

void TStateCache::SetPolygonMode(GLenum face, GLenum mode)
{
    if (face == GL_FRONT_AND_BACK) {
        if (polygonModes_[0] == mode && polygonModes_[1] == mode) return;
        polygonModes_ = {mode, mode};
        glPolygonMode(GL_FRONT_AND_BACK, mode);
        return;
    }
    size_t i = face == GL_BACK ? 1 : 0;
    if (polygonModes_[i] == mode) return;
    polygonModes_[i] = mode;
    glPolygonMode(face, mode);
}

void TStateCache::SetMaterialColors(GLenum face, const TVector4& emission, const TVector4& ambient,
                                    const TVector4& diffuse, const TVector4& specular, int32_t shininess)
{
    FaceColors& c = Face(face);
    if (c.shininess != shininess) {
        c.shininess = shininess;
        glMateriali(face, GL_SHININESS, shininess);
    }
    if (!SameRGB(c.emission, emission)) {
        c.emission = emission;
        glMaterialfv(face, GL_EMISSION, emission.Data());
    }
    if (!SameRGB(c.ambient, ambient)) {
        c.ambient = ambient;
        glMaterialfv(face, GL_AMBIENT, ambient.Data());
    }
    if (!SameRGBA(c.diffuse, diffuse)) {
        c.diffuse = diffuse;
        glMaterialfv(face, GL_DIFFUSE, diffuse.Data());
    }
    if (!SameRGB(c.specular, specular)) {
        c.specular = specular;
        glMaterialfv(face, GL_SPECULAR, specular.Data());
    }
}

void TStateCache::SetMaterialAlpha(GLenum face, float alpha)
{
    FaceColors& c = Face(face);
    if (std::memcmp(&c.diffuse.w, &alpha, sizeof alpha) == 0) return;
    c.diffuse.w = alpha;
    glMaterialfv(face, GL_DIFFUSE, c.diffuse.Data());
}

void TStateCache::BindTexture(int unit, GLenum target, GLuint name)
{
    GLuint& bound = boundTextures_[static_cast<size_t>(unit)];
    if (bound == name) return;
    bound = name;
    glBindTexture(target, name);
}

void TStateCache::SetTextureMatrix(const TMatrix4& matrix)
{
    textureMatrixIsIdentity_ = false;
    glMatrixMode(GL_TEXTURE);
    glLoadMatrixf(matrix.Data());
    glMatrixMode(GL_MODELVIEW);
}

void TStateCache::ResetTextureMatrix()
{
    if (textureMatrixIsIdentity_) return;
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    textureMatrixIsIdentity_ = true;
}

void TStateCache::InvertFrontFace()
{
    frontFaceCCW_ = !frontFaceCCW_;
    glFrontFace(frontFaceCCW_ ? GL_CCW : GL_CW);
}

void TStateCache::ResetMaterialColors()
{
    const TVector4 ambient{0.2f, 0.2f, 0.2f, 1}, diffuse{0.8f, 0.8f, 0.8f, 1}, specular{0, 0, 0, 1},
        emission{0, 0, 0, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient.Data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse.Data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular.Data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission.Data());
    glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, 0);
    const TVector4 none = NoColor();
    for (FaceColors* c : {&front_, &back_}) {
        c->emission = c->ambient = c->diffuse = c->specular = none;
        c->shininess = 0;
    }
}

void TStateCache::ResetForPass()
{
    polygonModes_ = {0, 0};
    ResetMaterialColors();
    boundTextures_.fill(NoTexture);
    glFrontFace(GL_CCW);
    frontFaceCCW_ = true;
}

}  // namespace sauno
