#pragma once
// A display server that goes away ends the game at once.

namespace sauno::platform {

// From now on a lost connection to the X display prints one line on standard error and ends
// the process with status 1, running no exit handler (they would talk to the dead connection
// and could wait on it for ever). Does nothing where the X library is not in use.
void EndProcessOnDisplayLoss();

}  // namespace sauno::platform
