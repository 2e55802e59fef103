#pragma once
// The scene buffer as the scene tree sees it: the object told of every scene change, and the
// rendering context it draws with.
#include <functional>
#include <memory>

#include "engine/coordinates.h"

namespace sauno {

class TContext;

class TSceneBuffer : public TUpdateAbleObject {
public:
    explicit TSceneBuffer(TPersistent* owner);
    ~TSceneBuffer() override;

    // The buffer's change notification: raises OnChange.
    void Changed(TPersistent* sender);
    std::function<void(TSceneBuffer* sender)> OnChange;

    TContext* RenderingContext() const { return renderingContext_.get(); }
    void SetRenderingContext(std::unique_ptr<TContext> context);

private:
    std::unique_ptr<TContext> renderingContext_;
};

}  // namespace sauno
