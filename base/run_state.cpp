#include "base/run_state.h"

#include <algorithm>

#include "base/text.h"

namespace dravlopro {

void TakeParameters(RunState& state, const std::vector<std::wstring>& argv,
                    std::size_t commandIndex) {
  const std::size_t rest = commandIndex < argv.size() ? argv.size() - commandIndex - 1 : 0;
  state.paramCount = std::min(rest, state.params.size());
  for (std::size_t k = 0; k < state.paramCount; ++k) {
    state.params[k] = ToUpper(argv[commandIndex + 1 + k]);
  }
}

}  // namespace dravlopro
