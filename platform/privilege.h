#pragma once
// A program installed set-group-ID (the game, group games, to write the shared high-score
// table) keeps that group only where it needs it. At start the effective group becomes the
// player's own and the privileged one is put aside as the saved group; only the thread that
// opens the table's files takes it back, for that moment; once they are open and locked, it
// is given up for good. Everything else (the display, the GL driver, fonts, caches, reports)
// runs as the player, so nothing in the player's environment can steer a privileged write.
// In a program that is not set-group-ID every call does nothing.

namespace sauno::platform {

// True when the process was started with privileges its user does not have (the kernel's
// secure-execution flag): variables meant for tests are then ignored.
bool StartedPrivileged();
// Call first in main, before any other thread starts: the effective group becomes the real
// one, the privileged group stays saved.
void SetAsidePrivilegedGroup();
// The calling thread alone takes the saved group back (other threads keep the player's);
// false when there is none to take.
bool TakePrivilegedGroupOnThisThread();
// Every thread, for good: real, effective and saved group all become the player's.
void GiveUpPrivilegedGroup();

}  // namespace sauno::platform
