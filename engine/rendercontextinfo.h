#pragma once
// The record handed as `rci` down the render traversal of one scene pass: built fresh and
// zeroed for each pass, then read and changed by the objects as they draw.
#include <cstdint>

#include "engine/export.h"
#include "engine/vectors.h"

namespace sauno {

class TScene;
class TStateCache;
class TMaterialLibraryBase;

enum class TDrawState : uint8_t { dsRendering = 0, dsPicking = 1 };

// Names and order are part of the scene-description format.
enum class TObjectsSorting : uint8_t {
    osInherited, osNone, osRenderFarthestFirst, osRenderBlendedLast, osRenderNearestFirst
};
enum class TVisibilityCulling : uint8_t { vcInherited, vcNone, vcObjectBased, vcHierarchical };

struct SAUNO_ENGINE_EXPORT TRectangleI {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

struct SAUNO_ENGINE_EXPORT TRenderContextClippingInfo {
    TVector4 origin;
    TVector4 clippingDirection;
    float viewPortRadius = 0;
    float farClippingDistance = 0;
    TFrustum frustum{};
};

struct SAUNO_ENGINE_EXPORT TRenderContextInfo {
    TScene* scene = nullptr;
    TVector4 cameraPosition;
    TVector4 cameraDirection;
    TVector4 cameraUp;
    TMatrix4* modelViewMatrix = nullptr;
    int32_t viewPortWidth = 0, viewPortHeight = 0;
    int32_t renderDPI = 0;
    TMaterialLibraryBase* materialLibrary = nullptr;
    TMaterialLibraryBase* lightmapLibrary = nullptr;
    int32_t fogDisabledCounter = 0, lightingDisabledCounter = 0;
    TDrawState drawState = TDrawState::dsRendering;
    TObjectsSorting objectsSorting = TObjectsSorting::osInherited;
    TVisibilityCulling visibilityCulling = TVisibilityCulling::vcInherited;
    TStateCache* stateCache = nullptr;
    TRenderContextClippingInfo rcci;
    TVector4 sceneAmbientColor;
    bool bufferFaceCull = false;
    bool proxySubObject = false;
    bool ignoreMaterials = false;
    bool ignoreBlendingRequests = false;
    bool drawDirectly = false;  // draw without building display lists
};

}  // namespace sauno
