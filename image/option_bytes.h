#pragma once

#include "cli/run_context.h"

namespace dravlopro {

int HandleOb(RunContext& context);
int HandleRob(RunContext& context);

}  // namespace dravlopro
