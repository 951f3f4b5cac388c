#include "commands/file_problem.h"

#include "base/text.h"

namespace dravlopro {

void ReportFileProblem(RunContext& context, const std::wstring& name, const std::string& why) {
  if (why.empty() || context.console.quiet()) return;
  context.err.Write("dravlopro: " + Narrow(name) + ": " + why + "\n");
}

}  // namespace dravlopro
