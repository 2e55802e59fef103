#include "platform/privilege.h"

#include <sys/auxv.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace sauno::platform {

namespace {

gid_t savedGroup = static_cast<gid_t>(-1);

[[noreturn]] void Refuse(const char* what)
{
    // A privilege that cannot be put down must not be carried on by accident.
    std::fprintf(stderr, "sauno: cannot %s the games group; stopping\n", what);
    std::_Exit(1);
}

}  // namespace

bool StartedPrivileged() { return getauxval(AT_SECURE) != 0; }

void SetAsidePrivilegedGroup()
{
    const gid_t real = getgid();
    const gid_t effective = getegid();
    if (effective == real) return;
    savedGroup = effective;
    // Real and effective become the player's; the saved group keeps the privileged one.
    if (setresgid(real, real, effective) != 0 || getegid() != real) Refuse("set aside");
}

bool TakePrivilegedGroupOnThisThread()
{
    if (savedGroup == static_cast<gid_t>(-1)) return false;
    // The raw system call changes this thread's credentials only (the C library's wrapper
    // would change every thread's): the GL driver's and the sound mixer's threads stay the
    // player's while the table's files are opened.
    if (syscall(SYS_setresgid, -1, savedGroup, -1) != 0) Refuse("take back");
    return true;
}

void GiveUpPrivilegedGroup()
{
    if (savedGroup == static_cast<gid_t>(-1)) return;
    const gid_t real = getgid();
    // Every thread: the C library applies it to all of them.
    if (setresgid(real, real, real) != 0) Refuse("give up");
    gid_t r = 0, e = 0, s = 0;
    if (getresgid(&r, &e, &s) != 0 || r != real || e != real || s != real) Refuse("give up");
    savedGroup = static_cast<gid_t>(-1);
}

}  // namespace sauno::platform
