#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <system_error>

#include "base/result_code.h"
#include "base/text.h"
#include "base/values.h"
#include "commands/file_problem.h"
#include "commands/handlers.h"
#include "commands/progress_line.h"
#include "platform/output_file.h"
#include "probe/connection.h"
#include "probe/flash.h"
#include "probe/memory.h"
#include "probe/registers.h"
#include "protocol/dap.h"

namespace dravlopro {

namespace {

constexpr std::uint32_t kWordsPerLine = 4;
// Words turned into bytes at a time on their way to a dump file.
constexpr std::size_t kWordsPerChunk = 4096;

// The first two parameters as unsigned numbers.
bool ParseTwo(const RunContext& context, std::uint32_t& first, std::uint32_t& second) {
  return ParseUnsigned(context.state.params[0], first) &&
         ParseUnsigned(context.state.params[1], second);
}

// A buffer of count words, or null when it cannot be had: more than the
// 32-bit address space holds, or memory refused.
std::unique_ptr<std::uint32_t[]> WordBuffer(std::uint32_t count) {
  if (count > 0xFFFFFFFFu / 4) return nullptr;
  return std::unique_ptr<std::uint32_t[]>(new (std::nothrow) std::uint32_t[count == 0 ? 1 : count]);
}

// Reads count words into a new buffer; ReadFailed when the buffer cannot be
// had or the read fails. A count of 0 reads nothing.
int ReadWords(RunContext& context, std::uint32_t address, std::uint32_t count,
              std::unique_ptr<std::uint32_t[]>& words, Progress& progress = NoProgress()) {
  words = WordBuffer(count);
  if (!words) return ReadFailed;
  if (count == 0) return Success;
  if (ReadTargetBlock(context.device(), address, words.get(), count, progress) !=
      dap::kTransferOk) {
    return ReadFailed;
  }
  return Success;
}

std::string FormatWords(std::uint32_t address, const std::uint32_t* words, std::uint32_t count) {
  std::string text;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (i % kWordsPerLine == 0) {
      if (i != 0) text += "\r\n";
      text += Format("0x%08X:  ", address + 4 * i);
    }
    text += Format("%08X ", words[i]);
  }
  text += "\n";
  return text;
}

// The system's reason for a failed dump file, or a plain one.
std::string WriteReason(const platform::OutputFile& out) {
  const std::error_code error = out.error();
  return error ? error.message() : std::string("cannot be written");
}

// Writes the words as raw little-endian bytes to the file; why says why not.
int WriteWords(const std::filesystem::path& path, const std::uint32_t* words, std::uint32_t count,
               std::string& why) {
  platform::OutputFile out(path);
  if (!out.is_open()) {
    why = WriteReason(out);
    return FileAccessFailed;
  }
  std::array<std::uint8_t, 4 * kWordsPerChunk> chunk;
  for (std::uint32_t i = 0; i < count;) {
    std::size_t used = 0;
    for (; i < count && used < chunk.size(); ++i, used += 4) PutLe32(chunk.data() + used, words[i]);
    if (!out.Write(std::span<const std::uint8_t>(chunk.data(), used))) {
      why = WriteReason(out);
      return FileAccessFailed;
    }
  }
  if (out.Commit()) return Success;
  why = WriteReason(out);
  return FileAccessFailed;
}

// The dump file: a name that cannot be turned into a path, or memory
// refused on the way, is a failed file access like any other. Why it
// failed goes to standard error.
int WriteDumpFile(RunContext& context, const std::wstring& name, const std::uint32_t* words,
                  std::uint32_t count) {
  std::string why;
  int result = FileAccessFailed;
  try {
    result = WriteWords(FilePath(name), words, count, why);
  } catch (const std::bad_alloc&) {
    why = "not enough memory to write it";
  } catch (...) {
    why = "cannot be written";
  }
  if (result != Success) ReportFileProblem(context, name, why);
  return result;
}

}  // namespace

int HandleR32(RunContext& context) {
  if (!ConnectAndWait(context.device(), context.clock, context.flashPageSize)) {
    return ConnectFailed;
  }
  std::uint32_t address = 0;
  std::uint32_t count = 0;
  if (!ParseTwo(context, address, count)) return InvalidParameter;
  std::unique_ptr<std::uint32_t[]> words;
  if (const int result = ReadWords(context, address, count, words); result != Success) {
    return result;
  }
  if (!context.console.quiet()) context.console.Print(FormatWords(address, words.get(), count));
  return Success;
}

int HandleW32(RunContext& context) {
  if (!ConnectAndWait(context.device(), context.clock, context.flashPageSize)) {
    return ConnectFailed;
  }
  std::uint32_t address = 0;
  std::uint32_t data = 0;
  if (!ParseTwo(context, address, data)) return InvalidParameter;
  CHidDevice& device = context.device();
  if (address < kSramBase) {
    if (const int lock = CheckSecurityLock(device); lock != Success) return lock;
    return ProgramWords(device, address, &data, 1) == 1 ? Success : WriteFailed;
  }
  return WriteTargetBlock(device, address, &data, 1) == dap::kTransferOk ? Success : WriteFailed;
}

int HandleDump(RunContext& context) {
  if (!ConnectAndWait(context.device(), context.clock, context.flashPageSize)) {
    return ConnectFailed;
  }
  std::uint32_t address = 0;
  std::uint32_t count = 0;
  if (!ParseTwo(context, address, count)) return InvalidParameter;
  const std::wstring* name = context.TypedParameter(3);
  if (name == nullptr) return InvalidParameter;
  std::unique_ptr<std::uint32_t[]> words;
  {
    // The line goes before the file is written: writing takes no time worth
    // showing.
    CommandProgress shown(context, "-dump", "bytes");
    if (const int result = ReadWords(context, address, count, words, shown.progress());
        result != Success) {
      return result;
    }
  }
  return WriteDumpFile(context, *name, words.get(), count);
}

}  // namespace dravlopro
