#pragma once
// STAND-IN for sound: samples keep their names, the manager its properties, and emitters are
// accepted and stay silent. The sound issue replaces this file with the real classes.
#include <memory>
#include <string>
#include <vector>

#include "engine/behaviours.h"
#include "engine/cadencer.h"
#include "engine/scene.h"
#include "runtime/component.h"

namespace sauno {

class TSoundSample : public TPersistent {
public:
    std::string Name;
};

class TSoundLibrary : public TComponent {
public:
    using TComponent::TComponent;
    std::vector<std::unique_ptr<TSoundSample>> Samples;
};

class TSMFMOD : public TComponent {
public:
    using TComponent::TComponent;
    bool Active = false;
    float MasterVolume = 1;
    TBaseSceneObject* Listener = nullptr;
    TCadencer* Cadencer = nullptr;
};

struct TBSoundSource {
    float Volume = 1;
    int NbLoops = 1;
    TSoundLibrary* SoundLibrary = nullptr;
    std::string SoundName;
};

class TBSoundEmitter : public TBehaviour {
public:
    using TBehaviour::TBehaviour;
    TBSoundSource Source;
    bool Playing() const { return playing_; }
    void SetPlaying(bool value) { playing_ = value; }

private:
    bool playing_ = false;
};

void RegisterSoundStandIns();

}  // namespace sauno
