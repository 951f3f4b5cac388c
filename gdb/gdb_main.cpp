// dravlopro-gdb: a GDB remote protocol server over the adapter, so that gdb
// (or an IDE that drives gdb) can debug the target. See "Debugging with gdb"
// in the README.
#include <memory>

#include "base/clock.h"
#include "gdb/program.h"
#include "platform/platform.h"
#include "platform/socket.h"

int main(int argc, char** argv) {
  using namespace dravlopro;
  platform::PrepareStandardStreams();
  std::unique_ptr<HidBackend> hid = platform::MakeHidBackend();
  std::unique_ptr<SettingsStore> settings = platform::MakeSettingsStore();
  SystemClock clock;
  const Environment environment{*hid, clock, *settings, platform::StandardOutput(),
                                platform::StandardError()};
  platform::CatchStopRequests();
  gdb::ProgramHooks hooks;
  hooks.listen = platform::ListenTcp;
  hooks.stopRequested = platform::StopRequested;
  return gdb::RunGdbProgram(platform::CommandLineArguments(argc, argv), environment, hooks);
}
