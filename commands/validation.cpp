#include "cli/driver.h"
#include "base/result_code.h"
#include "base/run_state.h"
#include "base/text.h"
#include "base/values.h"

namespace dravlopro {

namespace {

bool BeginsWithDash(const std::wstring& word) { return !word.empty() && word[0] == L'-'; }

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

  bool seenId = false;
  bool seenSn = false;
  std::size_t i = 1;
  while (i < count) {
    const std::wstring word = ToLower(at(i));
    if (word == L"-q") {
      quiet = 1;
      i += 1;
    } else if (word == L"-id") {
      const std::wstring value = at(i + 1);
      if (Unusable(value)) return InvalidParameter;
      std::uint32_t id = 0;
      const bool valid = ParseUnsigned(value, id);
      targetId = static_cast<std::int32_t>(id);
      if (!valid || id > 9) return InvalidParameter;
      if (seenId) return InvalidParameter;
      seenId = true;
      i += 2;
    } else if (word == L"-sn") {
      const std::wstring value = at(i + 1);
      if (Unusable(value)) return InvalidParameter;
      targetSn = ToUpper(value);
      if (seenSn) return InvalidParameter;
      seenSn = true;
      i += 2;
    } else if (word == L"-pdev" || word == L"-sdev" || word == L"-a" || word == L"-v") {
      if (Unusable(at(i + 1))) return InvalidParameter;
      i += 2;
    } else if (word == L"-r32" || word == L"-w32") {
      if (Unusable(at(i + 1)) || Unusable(at(i + 2))) return InvalidParameter;
      i += 3;
    } else if (word == L"-dump") {
      for (std::size_t k = 1; k <= 3; ++k) {
        if (at(i + k).empty()) return InvalidParameter;
      }
      for (std::size_t k = 1; k <= 3; ++k) {
        if (BeginsWithDash(at(i + k))) return InvalidParameter;
      }
      i += 4;
    } else if (word == L"-se") {
      if (Unusable(at(i + 1))) return InvalidParameter;
      i += Unusable(at(i + 2)) ? 2 : 3;
    } else if (word == L"-ob") {
      i += 1;
      for (int taken = 0; taken < 6 && !Unusable(at(i)); ++taken) ++i;
    } else if (BeginsWithDash(word)) {
      i += 1;
    } else {
      return CommandNotApplicable;
    }
  }
  return Success;
}

}  // namespace dravlopro
