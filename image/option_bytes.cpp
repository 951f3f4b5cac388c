#include "image/option_bytes.h"

#include "cli/result_code.h"

// Placeholder definitions until the option-byte commands land.
namespace dravlopro {
int HandleOb(RunContext&) { return ConnectFailed; }
int HandleRob(RunContext&) { return ConnectFailed; }
}  // namespace dravlopro
