#pragma once
// Steam off the stones: a short-lived cloud of soft sprites that rises and fades in about two
// seconds after a throw. Drawn with blending after the opaque scene; with nothing alive it
// neither draws nor asks for frames. It only shows: no rule, timer or text depends on it.
#include <cstdint>
#include <vector>

#include "engine/scene.h"

namespace sauno {

class TSteam : public TBaseSceneObject {
public:
    explicit TSteam(TComponent* owner);

    // Where the cloud starts, in scene units: above the stones.
    TVector4 Source{2.22f, 3.75f, 3.5f, 1};
    static constexpr int kSpritesPerPuff = 16;
    static constexpr double kLifetime = 2.0;  // seconds

    // A new cloud from the stones.
    void Puff();
    int Alive() const { return static_cast<int>(sprites_.size()); }

    void DoProgress(const ProgressTimes& times) override;
    void DrawContent(TRenderContextInfo& rci, bool drawSelf, bool drawChildren) override;
    bool IsBlended() override { return true; }

private:
    struct Sprite {
        TVector4 position, velocity;
        float age, life, size;
    };
    float Random();  // 0..1, the same sequence every run
    std::vector<Sprite> sprites_;
    uint32_t seed_ = 20241224u;
};

}  // namespace sauno
