#pragma once
// Message boxes. A real modal dialog for a player; with SAUNO_MESSAGES=stderr each message is
// one line on standard error and nothing blocks, for automated runs.
#include <string_view>

#include "platform/export.h"

namespace sauno::platform {

enum class MessageKind { Information, Error };

SAUNO_PLATFORM_EXPORT void ShowMessageBox(std::string_view title, std::string_view text, MessageKind kind);
bool MessagesToStderr();

}  // namespace sauno::platform
