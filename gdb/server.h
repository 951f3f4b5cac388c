#pragma once

#include <cstdint>
#include <functional>

#include "base/byte_stream.h"
#include "base/console.h"
#include "debug/target.h"

namespace dravlopro::gdb {

// Why the server stopped: its exit status.
enum ServerExit : int {
  kServerStopped = 0,       // asked to stop (a signal, or --once after its session)
  kServerUsage = 1,         // the command line is wrong
  kServerCannotListen = 2,  // the address or port cannot be listened on
  kServerNoAdapter = 3,     // no adapter, not the one asked for, or held by another run
  kServerNoTarget = 4,      // the target does not answer
  kServerAdapterLost = 5    // the adapter went away while serving
};

struct ServeOptions {
  bool quiet = false;
  bool once = false;  // end after the first session
  // Asked between waits: true stops the server.
  std::function<bool()> stopRequested = [] { return false; };
};

// Serves debugging sessions one at a time on the listener, against the
// target. A client that connects while another is served is told so and
// turned away. Messages go to `log`.
int Serve(StreamListener& listener, DebugTarget& target, OutputSink& log,
          const ServeOptions& options);

}  // namespace dravlopro::gdb
