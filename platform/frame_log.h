#pragma once
// Frames drawn, for benchmarks and tests. Off unless the environment variable SAUNO_FRAME_LOG
// names a file: then every frame a scene buffer draws appends one line to it,
//   <began ns> <drawn ns>
// on the performance counter (CLOCK_MONOTONIC, comparable between processes): when the frame
// began and when it had been presented. The variable is read with secure_getenv, so a game
// started with raised privileges never writes there; the file is opened without following a
// symbolic link, and nothing is written or measured without it.
#include <cstdint>

#include "platform/export.h"

namespace sauno::platform {

bool FrameLogWanted();
SAUNO_PLATFORM_EXPORT void FrameLogDrawn(int64_t beganNs, int64_t drawnNs);

}  // namespace sauno::platform
