#include "engine/buffer.h"

#include "engine/context.h"

namespace sauno {

TSceneBuffer::TSceneBuffer(TPersistent* owner) : TUpdateAbleObject(owner) {}

TSceneBuffer::~TSceneBuffer() = default;

void TSceneBuffer::Changed(TPersistent*)
{
    if (OnChange) OnChange(this);
}

void TSceneBuffer::SetRenderingContext(std::unique_ptr<TContext> context) { renderingContext_ = std::move(context); }

}  // namespace sauno
