#include <cstdint>

#include "base/result_code.h"
#include "base/text.h"
#include "commands/handlers.h"
#include "commands/progress_line.h"
#include "image/engine.h"
#include "probe/connection.h"
#include "probe/flash.h"

namespace dravlopro {

namespace {

// A page number of "-se": the standard library's signed decimal conversion.
std::int64_t PageNumber(const std::wstring& text) { return DecimalPrefixValue(text); }

// A page whose start address fits in 32 bits.
bool PageAddressable(std::int64_t page, std::uint32_t pageSize) {
  return page >= 0 &&
         page <= static_cast<std::int64_t>(0xFFFFFFFFu / (pageSize == 0 ? 1 : pageSize));
}

}  // namespace

int HandleSe(RunContext& context) {
  if (!ConnectAndWait(context.device(), context.clock, context.flashPageSize)) {
    return ConnectFailed;
  }
  if (const int lock = CheckSecurityLock(context.device()); lock != Success) return lock;

  const RunState& state = context.state;
  const std::int64_t start = PageNumber(state.params[0]);
  if (start == 0 && state.params[0] != L"0") return InvalidParameter;
  std::int64_t end = start;
  if (state.paramCount >= 2) {
    const std::int64_t second = PageNumber(state.params[1]);
    if (second != 0) end = second;
  }
  if (start > end) return InvalidParameter;
  // Pages below 0 or past the 32-bit address space would wrap onto other
  // pages.
  if (!PageAddressable(start, context.flashPageSize) ||
      !PageAddressable(end, context.flashPageSize)) {
    return InvalidParameter;
  }
  CommandProgress shown(context, "-se", "pages");
  const int erased = ErasePages(context.device(), context.clock, context.flashPageSize,
                                static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end),
                                shown.progress());
  return erased == 1 ? Success : EraseFailed;
}

// "-me": the adapter's programming engine erases the whole target. It tells
// nothing until it is done, so the line shows only how long it has waited.
int HandleMe(RunContext& context) {
  QueryAdapter(context.device(), context.imageState);
  CommandProgress shown(context, "-me", "", "erasing");
  if (!EraseByAdapter(context.device(), shown.progress())) return EraseFailed;
  return Success;
}

}  // namespace dravlopro
