#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "commands/run_context.h"

namespace dravlopro {

// What a command's words settle while the whole line is checked, before
// anything runs: the adapter selection of "-id" and "-sn" and quiet mode.
struct LineChoices {
  std::wstring& targetSn;
  std::int32_t& targetId;
  std::uint32_t& quiet;
  bool seenId = false;
  bool seenSn = false;
};

// The words that follow a command word: this many it must have, then up to
// this many more it takes when they are there. A word that is empty or
// begins with a dash is never taken as a parameter.
struct ParameterRule {
  std::size_t required = 0;
  std::size_t optional = 0;
};

// A row of the table, written with designated initializers; what a row
// leaves out is zero (no parameters, no choices to settle).
struct CommandEntry {
  const wchar_t* word = nullptr;  // lower case
  ParameterRule parameters{};
  // Runs when the command's turn comes.
  CommandHandler handler = nullptr;
  // False for the commands that run whether or not the chosen adapter was
  // found ("-list", "-pdev", "-sdev"); the others end the run with 31 then.
  bool needsAdapter = true;
  // Settles the command's choices while the line is checked; 0, or the
  // result code that refuses the line. Null for most commands.
  int (*choose)(const std::wstring& firstParameter, LineChoices& choices) = nullptr;
  // The command's lines in the usage text.
  const char* usage = nullptr;
};

// Every command, in the order of the usage text.
std::span<const CommandEntry> Commands();

// The entry of a lower-cased command word, or nullptr for a word that names
// no command.
const CommandEntry* FindCommand(const std::wstring& word);

}  // namespace dravlopro
