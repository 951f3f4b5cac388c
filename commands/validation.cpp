#include "commands/validation.h"

#include "base/result_code.h"
#include "base/run_state.h"
#include "base/text.h"
#include "base/values.h"
#include "commands/command_table.h"

namespace dravlopro {

namespace {

// A value that is missing, empty or another command word.
bool Unusable(const std::wstring& word) { return word.empty() || BeginsWithDash(word); }

}  // namespace

int ValidateArguments(const std::vector<std::wstring>& argv, std::wstring& targetSn,
                      std::int32_t& targetId, std::uint32_t& quiet) {
  const std::size_t count = argv.size();
  // A command word can take at most kMaxParams words after it.
  if (count > kMaxParams + 2) return InvalidParameter;
  // Past the end of the line every word reads as empty.
  auto at = [&argv](std::size_t i) -> std::wstring { return i < argv.size() ? argv[i] : L""; };

  LineChoices choices{targetSn, targetId, quiet};
  std::size_t i = 1;
  while (i < count) {
    const std::wstring word = ToLower(at(i));
    const CommandEntry* entry = FindCommand(word);
    if (entry == nullptr) {
      // An unknown command word is refused only when its turn comes.
      if (!BeginsWithDash(word)) return CommandNotApplicable;
      i += 1;
      continue;
    }
    const ParameterRule& rule = entry->parameters;
    for (std::size_t k = 1; k <= rule.required; ++k) {
      if (Unusable(at(i + k))) return InvalidParameter;
    }
    if (entry->choose != nullptr) {
      if (const int refused = entry->choose(at(i + 1), choices); refused != Success) {
        return refused;
      }
    }
    i += 1 + rule.required;
    for (std::size_t taken = 0; taken < rule.optional && !Unusable(at(i)); ++taken) ++i;
  }
  return Success;
}

}  // namespace dravlopro
