#include "base/result_code.h"
#include "image/engine.h"
#include "commands/handlers.h"

namespace dravlopro {

// "-me": the adapter's programming engine erases the whole target.
int HandleMe(RunContext& context) {
  QueryAdapter(context.adapter, context.imageState);
  if (!EraseByAdapter(context.adapter, context.imageState)) return EraseFailed;
  return Success;
}

}  // namespace dravlopro
