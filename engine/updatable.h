#pragma once
// Component bases of the engine: components advanced with scene time, components that pass
// change notices up their ownership chain, and components told when a coordinate holder they
// own changes.
#include "engine/export.h"
#include "runtime/component.h"

namespace sauno {

class TCoordinates;

// One step of scene time, in seconds.
struct SAUNO_ENGINE_EXPORT ProgressTimes {
    double deltaTime = 0;
    double newTime = 0;
};

class SAUNO_ENGINE_EXPORT TCadenceAbleComponent : public TComponent {
public:
    explicit TCadenceAbleComponent(TComponent* owner) : TComponent(owner) {}
    // Advances the component by one step; nothing by default.
    virtual void DoProgress(const ProgressTimes& times);
};

class SAUNO_ENGINE_EXPORT TUpdateAbleComponent : public TCadenceAbleComponent {
public:
    explicit TUpdateAbleComponent(TComponent* owner) : TCadenceAbleComponent(owner) {}
    // A change notice: passed to the owner's ReportChange(this) when the owner is itself an
    // updatable component; otherwise it ends here.
    virtual void ReportChange(TPersistent* sender);
    // Asked by a colour holder this component owns before it reports its change: the colour is
    // baked into compiled geometry. Nothing by default; scene objects override it with their
    // display-list invalidation (their StructureChanged).
    virtual void StructureChanged() {}
};

class SAUNO_ENGINE_EXPORT TCoordinatesUpdateAbleComponent : public TUpdateAbleComponent {
public:
    explicit TCoordinatesUpdateAbleComponent(TComponent* owner) : TUpdateAbleComponent(owner) {}
    // Called, instead of the holder's own change notice, when a TCoordinates owned by this
    // component changes. By default it is treated as a plain change notice.
    virtual void CoordinatesChanged(TCoordinates* sender);
};

}  // namespace sauno
