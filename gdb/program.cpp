#include "gdb/program.h"

#include "base/result_code.h"
#include "base/text.h"
#include "base/values.h"
#include "cli/results.h"
#include "commands/command_table.h"
#include "commands/selection.h"
#include "gdb/server.h"

namespace dravlopro::gdb {

namespace {

constexpr std::uint16_t kDefaultPort = 3333;

struct Options {
  std::uint16_t port = kDefaultPort;
  std::string bind = "127.0.0.1";
  bool once = false;
  bool help = false;
  bool version = false;
};

// Reads the command line into the options and the run state's selection;
// "" when it is good, else what is wrong with it.
std::string ParseLine(const std::vector<std::wstring>& argv, Options& options, RunState& state) {
  LineChoices choices{state.targetSn, state.targetId, state.quiet};
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::wstring word = ToLower(argv[i]);
    const bool hasValue = i + 1 < argv.size();
    if (word == L"--help" || word == L"-h") {
      options.help = true;
    } else if (word == L"--version") {
      options.version = true;
    } else if (word == L"-q") {
      state.quiet = 1;
    } else if (word == L"--once") {
      options.once = true;
    } else if (word == L"--port") {
      std::uint32_t port = 0;
      if (!hasValue || !ParseUnsigned(argv[i + 1], port) || port > 65535) {
        return "--port takes a TCP port number, 0 to 65535";
      }
      options.port = static_cast<std::uint16_t>(port);
      ++i;
    } else if (word == L"--bind") {
      if (!hasValue || argv[i + 1].empty()) return "--bind takes an IPv4 address";
      options.bind = Narrow(argv[i + 1]);
      ++i;
    } else if (word == L"-id" || word == L"-sn") {
      // The tool's own rules for these two words.
      const CommandEntry* entry = FindCommand(word);
      if (!hasValue || BeginsWithDash(argv[i + 1]) ||
          entry->choose(argv[i + 1], choices) != Success) {
        return Narrow(word) + " needs a valid value, once";
      }
      ++i;
    } else {
      return "unknown word \"" + Narrow(argv[i]) + "\"";
    }
  }
  return {};
}

std::string ProgramName(const std::wstring& path) {
  std::string name = Narrow(path);
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name.size() > 4 && name.substr(name.size() - 4) == ".exe") name.resize(name.size() - 4);
  return name;
}

}  // namespace

std::string GdbUsage(const std::string& program) {
  return "usage: " + program +
         " [-id ID | -sn SN] [--port N] [--bind ADDRESS] [--once] [-q]\n"
         "Serves one gdb session at a time (GDB remote protocol) over the adapter.\n"
         "  -id ID, -sn SN   the adapter, as for dravlopro; else the saved default\n"
         "  --port N         TCP port, 3333 when not given (0: any free port)\n"
         "  --bind ADDRESS   the address to listen on, 127.0.0.1 when not given; the port\n"
         "                   gives full control of the target\n"
         "  --once           end after the first session\n"
         "  -q               print nothing on standard error\n"
         "Exit status: 0 stopped, 1 command line, 2 cannot listen, 3 no adapter,\n"
         "4 the target does not answer, 5 the adapter was lost.\n";
}

int RunGdbProgram(const std::vector<std::wstring>& argv, const Environment& environment,
                  const ProgramHooks& hooks) {
  RunContext context(environment);
  context.argv = argv.empty() ? std::vector<std::wstring>{L"dravlopro-gdb"} : argv;
  const std::string program = ProgramName(context.argv[0]);
  OutputSink& err = environment.err;
  Options options;
  const std::string problem = ParseLine(context.argv, options, context.state);
  if (!problem.empty()) {
    err.Write(program + ": " + problem + "\n" + GdbUsage(program));
    return kServerUsage;
  }
  if (options.help) {
    environment.out.Write(GdbUsage(program));
    return kServerStopped;
  }
  if (options.version) {
    environment.out.Write(VersionLine(context.argv[0]));
    return kServerStopped;
  }
  const bool quiet = context.state.quiet != 0;
  auto say = [&](const std::string& text) {
    if (!quiet) err.Write(program + ": " + text + "\n");
  };

  context.settings.GetSettingsPath(context.settingsPath);
  SelectionLine line;
  int selection = Success;
  SettleSelection(context, line, selection);
  if (selection != Success) {
    err.Write(program + ": -id and -sn exclude each other\n");
    return kServerUsage;
  }
  const int opened = context.adapter.OpenAdapter(context.state.targetId, context.state.targetSn);
  if (opened != Success) {
    err.Write(program + ": " +
              (opened == NoAdapter
                   ? std::string("no adapter is attached, or it is held by another run")
                   : std::string("the adapter asked for is not attached, or it is held "
                                 "by another run")) +
              "\n");
    return kServerNoAdapter;
  }
  say("adapter SN " + Narrow(context.adapters.openedSn));

  std::string listenProblem;
  std::unique_ptr<StreamListener> listener =
      hooks.listen(options.bind, options.port, listenProblem);
  if (!listener) {
    err.Write(program + ": cannot listen on " + options.bind + ":" + std::to_string(options.port) +
              ": " + listenProblem + "\n");
    context.device().Close();
    return kServerCannotListen;
  }

  DebugTarget target(context.device(), environment.clock);
  if (!target.Attach()) {
    const bool lost = target.linkLost();
    err.Write(program +
              (lost ? ": the adapter does not answer\n" : ": the target does not answer\n"));
    context.device().Close();
    return lost ? kServerAdapterLost : kServerNoTarget;
  }
  ServeOptions serve;
  serve.quiet = quiet;
  serve.once = options.once;
  serve.stopRequested = hooks.stopRequested;
  const int result = Serve(*listener, target, err, serve);
  if (context.device().IsOpen()) {
    context.device().Close();
  }
  say(result == kServerStopped ? "stopped" : "ended");
  return result;
}

}  // namespace dravlopro::gdb
