#pragma once
// The error type every layer raises: an exception that carries the user-facing message.
#include <stdexcept>
#include <string>

#include "platform/export.h"

namespace sauno {

class SAUNO_PLATFORM_EXPORT Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A programming error that no input can reach.
class SAUNO_PLATFORM_EXPORT EAssertionFailed : public Exception {
public:
    EAssertionFailed() : Exception("Assertion failure") {}
};

inline void Assert(bool condition)
{
    if (!condition) throw EAssertionFailed();
}

}  // namespace sauno
