#include "game/steam.h"

#include <algorithm>
#include <cmath>

namespace sauno {

TSteam::TSteam(TComponent* owner) : TBaseSceneObject(owner)
{
    SetObjectStyle(ObjectStyle() | osDirectDraw | osNoVisibilityCulling);
}

float TSteam::Random()
{
    seed_ = seed_ * 1664525u + 1013904223u;
    return static_cast<float>(seed_ >> 8) / static_cast<float>(1u << 24);
}

void TSteam::Puff()
{
    for (int i = 0; i < kSpritesPerPuff; ++i) {
        Sprite s;
        s.position = {Source.x + (Random() - 0.5f) * 0.6f, Source.y + Random() * 0.15f, Source.z + (Random() - 0.5f) * 0.6f, 1};
        // Up half a metre or so (a scene unit) over its life, spreading as it goes.
        s.velocity = {(Random() - 0.5f) * 0.3f, 0.45f + Random() * 0.3f, (Random() - 0.5f) * 0.3f, 0};
        s.age = -Random() * 0.25f;  // not all at once
        s.life = static_cast<float>(kLifetime) * (0.8f + 0.25f * Random());
        s.size = 0.28f + 0.17f * Random();
        sprites_.push_back(s);
    }
    NotifyChange(this);
}

void TSteam::DoProgress(const ProgressTimes& times)
{
    TBaseSceneObject::DoProgress(times);
    if (sprites_.empty()) return;
    const auto dt = static_cast<float>(times.deltaTime);
    for (Sprite& s : sprites_) {
        s.age += dt;
        if (s.age <= 0) continue;
        s.position = Add(s.position, MulScalar(s.velocity, dt));
        s.velocity.y *= std::max(0.0f, 1 - 0.4f * dt);  // slows as it cools
    }
    std::erase_if(sprites_, [](const Sprite& s) { return s.age >= s.life; });
    NotifyChange(this);  // one more frame, also the one that shows the last sprite gone
}

void TSteam::DrawContent(TRenderContextInfo& rci, bool, bool)
{
    if (sprites_.empty()) return;
    // Each sprite faces the camera: a fan, opaque-ish at the centre and clear at the rim.
    const TVector4 up{0, 1, 0, 0};
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    constexpr int kRim = 10;
    for (const Sprite& s : sprites_) {
        if (s.age <= 0) continue;
        const float t = s.age / s.life;
        // In quickly, out slowly; larger as it rises.
        const float alpha = 0.5f * std::min(1.0f, t * 5) * (1 - t * t);
        const float radius = s.size * (1 + 1.8f * t);
        TVector4 toCamera = Sub(rci.cameraPosition, s.position);
        toCamera.w = 0;
        const TVector4 right = MulScalar(Normalize(Cross(up, toCamera)), radius);
        const TVector4 above = MulScalar(Normalize(Cross(toCamera, right)), radius);
        glBegin(GL_TRIANGLE_FAN);
        glColor4f(0.93f, 0.92f, 0.90f, alpha);
        glVertex3f(s.position.x, s.position.y, s.position.z);
        glColor4f(0.93f, 0.92f, 0.90f, 0);
        for (int i = 0; i <= kRim; ++i) {
            const float a = 6.2831853f * static_cast<float>(i) / kRim;
            const TVector4 p = Add(s.position, Add(MulScalar(right, std::cos(a)), MulScalar(above, std::sin(a))));
            glVertex3f(p.x, p.y, p.z);
        }
        glEnd();
    }
    glDepthMask(GL_TRUE);
    glPopAttrib();
}

}  // namespace sauno
