// Windows hands every process its standard handles (or none, which the
// console layer handles) and has no SIGPIPE: nothing to prepare.

#include "platform/platform.h"

namespace dravlopro::platform {

void PrepareStandardStreams() {}

}  // namespace dravlopro::platform
