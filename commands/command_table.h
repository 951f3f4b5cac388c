#pragma once

#include <string>

#include "commands/run_context.h"

namespace dravlopro {

// The handler of a lower-cased command word, or nullptr for a word that
// names no command.
CommandHandler FindCommandHandler(const std::wstring& word);

}  // namespace dravlopro
