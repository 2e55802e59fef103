#pragma once
// STAND-IN for meshes, bitmap text and sound. Each class keeps the names, properties and
// operations the game calls, in the simplest form that runs: the free-form loads nothing,
// texts hold their value and visibility but are not drawn, and sound emitters are accepted and
// stay silent. The mesh, text and sound issues replace this file with the real classes.
#include <string>
#include <vector>

#include "engine/behaviours.h"
#include "engine/scene.h"
#include "material/material.h"
#include "engine/cadencer.h"

namespace sauno {

class TFreeForm : public TSceneObject {
public:
    using TSceneObject::TSceneObject;
    TMaterial& Material() { return material_; }
    TMaterialLibrary* MaterialLibrary = nullptr;
    TMaterialLibrary* LightmapLibrary = nullptr;
    // Stand-in: accepts any file name, present or not, and loads nothing.
    void LoadFromFile(const std::string& fileName);

private:
    TMaterial material_{this};
};

class TWindowsBitmapFont : public TComponent {
public:
    using TComponent::TComponent;
    std::string FontName;
    int FontHeight = 0;
    bool Bold = false;
};

class THUDText : public TImmaterialSceneObject {
public:
    using TImmaterialSceneObject::TImmaterialSceneObject;
    const std::string& Text() const { return text_; }
    void SetText(const std::string& value);
    TWindowsBitmapFont* BitmapFont = nullptr;

private:
    std::string text_;
};

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

void RegisterContentStandIns();

}  // namespace sauno
