#include "commands/file_problem.h"

#include "base/text.h"

namespace dravlopro {

void ReportFileProblem(RunContext& context, const std::wstring& name, const std::string& why) {
  if (why.empty()) return;
  context.hints.Print("dravlopro: " + Narrow(name) + ": " + why + "\n");
}

}  // namespace dravlopro
