#include "engine/updatable.h"

#include "engine/coordinates.h"

namespace sauno {

void TCadenceAbleComponent::DoProgress(const ProgressTimes&) {}

void TUpdateAbleComponent::ReportChange(TPersistent*)
{
    if (auto* owner = dynamic_cast<TUpdateAbleComponent*>(Owner())) owner->ReportChange(this);
}

void TCoordinatesUpdateAbleComponent::CoordinatesChanged(TCoordinates* sender) { ReportChange(sender); }

}  // namespace sauno
