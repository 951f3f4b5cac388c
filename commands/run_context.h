#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "adapter/hid_backend.h"
#include "adapter/hid_device.h"
#include "base/clock.h"
#include "base/console.h"
#include "base/run_state.h"
#include "commands/downloader.h"
#include "image/image_state.h"
#include "settings/settings.h"

namespace dravlopro {

// What the tool runs against: the real machine, or a simulated bench.
struct Environment {
  HidBackend& hid;
  Clock& clock;
  SettingsStore& settings;
  OutputSink& out;
  OutputSink& err;  // standard error: hints beside the console text

  // --- The progress line ---
  // Where long commands show how far they are: standard error when it is a
  // terminal, null when nobody watches one (a file, a pipe, a test).
  OutputSink* progress = nullptr;
  // --- end of the progress line ---
};

// Everything one run keeps: the run state, what the last enumeration found,
// the adapter object, the image state and the flash page size. The driver
// owns it and hands it to every command handler; nothing below the commands
// sees it.
struct RunContext {
  explicit RunContext(const Environment& env)
      : adapter(env.hid, adapters),
        console(env.out, state.quiet),
        hints(env.err, state.quiet),
        clock(env.clock),
        settings(env.settings),
        progressTerminal(env.progress) {}

  CHidDevice& device() { return adapter.device; }

  RunState state;
  // Rewritten by the adapter object on every open.
  AdapterTable adapters;
  CommandLine adapter;
  ImageState imageState;
  std::uint32_t flashPageSize = 0;
  Console console;
  // Standard error: one line that names the cause beside the console text,
  // silenced by quiet mode like the console.
  Console hints;
  Clock& clock;
  SettingsStore& settings;
  std::filesystem::path settingsPath;
  // The progress line's terminal; null when there is none (see Environment).
  OutputSink* progressTerminal = nullptr;

  std::vector<std::wstring> argv;  // as typed; argv[0] is the program
  std::size_t commandIndex = 0;    // argv index of the command word now running
  // The command's parameter n (1 for the first) as typed, not upper-cased;
  // null past the end of the line.
  const std::wstring* TypedParameter(std::size_t n) const {
    return commandIndex + n < argv.size() ? &argv[commandIndex + n] : nullptr;
  }
  int openResult = 0;  // what this command's adapter open gave
  std::wstring processTrail;
};

// A command handler: reads the context, returns a result code.
using CommandHandler = int (*)(RunContext&);

}  // namespace dravlopro
