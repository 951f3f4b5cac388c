#include "sim/sim_gdb.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/clock.h"
#include "gdb/program.h"
#include "gdb/server.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "settings/ini_settings.h"
#include "sim/bench_clock.h"
#include "sim/sim_bench.h"
#include "sim/sim_file_locks.h"
#include "sim/sim_store.h"
#include "sim/slow_link.h"

namespace dravlopro::sim {

int RunSimGdb(const std::vector<std::wstring>& arguments) {
  const char* configured = std::getenv("DRAVLOPRO_SIM_DIR");
  const std::filesystem::path folder =
      configured != nullptr && *configured != '\0' ? configured : ".dravlopro-sim";
  const std::optional<std::uint32_t> answerMs = AnswerDelayMs();
  if (!answerMs) {
    std::fprintf(stderr,
                 "dravlopro-sim: DRAVLOPRO_SIM_ANSWER_MS must be a whole number of "
                 "milliseconds, at most 60000\n");
    return gdb::kServerUsage;
  }
  SystemClock clock;
  FileLocks locks;
  BenchFolder store(folder, locks, clock);
  SimBench bench;
  if (!store.Open(bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot read the simulated bench in %s\n",
                 folder.string().c_str());
    return gdb::kServerNoAdapter;
  }
  IniSettingsStore settings(folder);
  // The server's waits move the bench's time line, and its answers may come
  // late, as for the tool.
  BenchClock benchClock(bench);
  SlowLink slowLink(bench, benchClock, *answerMs);
  HidBackend& hid = *answerMs == 0 ? static_cast<HidBackend&>(bench) : slowLink;
  const Environment environment{hid, benchClock, settings, platform::StandardOutput(),
                                platform::StandardError()};
  platform::CatchStopRequests();
  gdb::ProgramHooks hooks;
  hooks.listen = platform::ListenTcp;
  hooks.stopRequested = platform::StopRequested;
  // The program's own name in its messages, its options after --gdb.
  std::vector<std::wstring> argv(arguments.begin() + 1, arguments.end());
  argv[0] = L"dravlopro-sim --gdb";
  const int result = gdb::RunGdbProgram(argv, environment, hooks);
  if (!store.Save(bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot save the simulated bench in %s\n",
                 folder.string().c_str());
  }
  return result;
}

}  // namespace dravlopro::sim
