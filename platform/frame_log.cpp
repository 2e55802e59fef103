#include "platform/frame_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace sauno::platform {

namespace {

// The descriptor of the log, or -1: opened once, on the first question.
int LogDescriptor()
{
    static const int fd = [] {
        const char* path = secure_getenv("SAUNO_FRAME_LOG");
        if (!path || !*path) return -1;
        return ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    }();
    return fd;
}

}  // namespace

bool FrameLogWanted() { return LogDescriptor() >= 0; }

void FrameLogDrawn(int64_t beganNs, int64_t drawnNs)
{
    const int fd = LogDescriptor();
    if (fd < 0) return;
    char line[48];
    const int n = std::snprintf(line, sizeof line, "%lld %lld\n", static_cast<long long>(beganNs),
                                static_cast<long long>(drawnNs));
    // One write per line, so that a reader counting lines never sees half of one.
    if (n > 0) (void)!::write(fd, line, static_cast<size_t>(n));
}

}  // namespace sauno::platform
