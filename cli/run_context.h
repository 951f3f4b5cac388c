#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "adapter/clock.h"
#include "adapter/hid_backend.h"
#include "adapter/settings.h"
#include "cli/console.h"
#include "cli/run_state.h"
#include "image/downloader.h"
#include "image/image_state.h"

namespace dravlopro {

// What the tool runs against: the real machine, or a simulated bench.
struct Environment {
  HidBackend& hid;
  Clock& clock;
  SettingsStore& settings;
  OutputSink& out;
  OutputSink& err;  // standard error: hints beside the console text
};

// Everything one run keeps: the run state, the adapter object, the image
// state and the flash page size. The driver owns it and hands it to every
// command handler.
struct RunContext {
  explicit RunContext(const Environment& env)
      : adapter(env.hid, state),
        console(env.out, state.quiet),
        clock(env.clock),
        settings(env.settings) {}

  CHidDevice& device() { return adapter.device; }

  RunState state;
  CommandLine adapter;
  ImageState imageState;
  std::uint32_t flashPageSize = 0;
  Console console;
  Clock& clock;
  SettingsStore& settings;
  std::filesystem::path settingsPath;

  std::vector<std::wstring> argv;  // as typed; argv[0] is the program
  std::size_t commandIndex = 0;    // argv index of the command word now running
  int openResult = 0;              // what this command's adapter open gave
  std::wstring processTrail;
};

// A command handler: reads the context, returns a result code.
using CommandHandler = int (*)(RunContext&);

}  // namespace dravlopro
