// dravlopro-sim: the tool over a simulated bench instead of real adapters,
// for demonstrations and for testing build scripts without hardware. The
// bench persists in ./.dravlopro-sim, or in the folder $DRAVLOPRO_SIM_DIR,
// and is shared safely by runs that go on at the same time.
// $DRAVLOPRO_SIM_ANSWER_MS, a whole number of milliseconds, makes every
// request wait that long for real before its answer comes, as over a slow
// link: 1 is about what a full-speed USB adapter costs per report.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "base/clock.h"
#include "cli/driver.h"
#include "platform/file_lock.h"
#include "platform/platform.h"
#include "settings/ini_settings.h"
#include "sim/sim_bench.h"
#include "sim/sim_store.h"

namespace {

using namespace dravlopro;

// The bench folder's locks as lock files that other processes see.
class FileLocks : public sim::FolderLocks {
 public:
  Attempt TryTake(const std::filesystem::path& file, std::unique_ptr<Held>& out) override {
    std::unique_ptr<platform::FileLock> lock;
    switch (platform::FileLock::TryTake(file, lock)) {
      case platform::FileLock::Attempt::Taken:
        out = std::make_unique<HeldFile>(std::move(lock));
        return Attempt::Taken;
      case platform::FileLock::Attempt::Busy:
        return Attempt::Busy;
      case platform::FileLock::Attempt::Failed:
        break;
    }
    return Attempt::Failed;
  }

 private:
  struct HeldFile : Held {
    explicit HeldFile(std::unique_ptr<platform::FileLock> taken) : lock(std::move(taken)) {}
    std::unique_ptr<platform::FileLock> lock;
  };
};

// The bench's interfaces, each request's answer held back for a while for
// real: the tool's own waits and its progress line then see a slow link.
class SlowLink : public HidBackend {
 public:
  SlowLink(HidBackend& inner, Clock& clock, std::uint32_t answerMs)
      : inner_(inner), clock_(clock), answerMs_(answerMs) {}

  InterfaceOpen OpenInterface(std::uint32_t memberIndex, std::unique_ptr<HidConnection>& out,
                              std::string& path) override {
    std::unique_ptr<HidConnection> connection;
    const InterfaceOpen opened = inner_.OpenInterface(memberIndex, connection, path);
    if (connection) out = std::make_unique<SlowConnection>(std::move(connection), *this);
    return opened;
  }

 private:
  class SlowConnection : public HidConnection {
   public:
    SlowConnection(std::unique_ptr<HidConnection> inner, SlowLink& link)
        : inner_(std::move(inner)), link_(link) {}
    bool GetAttributes(HidAttributes& out) override { return inner_->GetAttributes(out); }
    bool GetCaps(HidCaps& out) override { return inner_->GetCaps(out); }
    bool GetSerialNumber(std::wstring& out) override { return inner_->GetSerialNumber(out); }
    bool Claim() override { return inner_->Claim(); }
    bool Write(const std::uint8_t* report, std::size_t length) override {
      const bool written = inner_->Write(report, length);
      link_.clock_.SleepMs(link_.answerMs_);
      return written;
    }
    HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
      return inner_->Read(report, length, timeoutMs);
    }

   private:
    std::unique_ptr<HidConnection> inner_;
    SlowLink& link_;
  };

  HidBackend& inner_;
  Clock& clock_;
  std::uint32_t answerMs_;
};

// $DRAVLOPRO_SIM_ANSWER_MS: unset or empty gives 0; nullopt when it is not
// a whole number of milliseconds up to a minute.
std::optional<std::uint32_t> AnswerDelayMs() {
  const char* text = std::getenv("DRAVLOPRO_SIM_ANSWER_MS");
  if (text == nullptr || *text == '\0') return 0;
  std::uint32_t value = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || value > 60000) return std::nullopt;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  const char* configured = std::getenv("DRAVLOPRO_SIM_DIR");
  const std::filesystem::path folder =
      configured != nullptr && *configured != '\0' ? configured : ".dravlopro-sim";

  const std::optional<std::uint32_t> answerMs = AnswerDelayMs();
  if (!answerMs) {
    std::fprintf(stderr,
                 "dravlopro-sim: DRAVLOPRO_SIM_ANSWER_MS must be a whole number of "
                 "milliseconds, at most 60000\n");
    return 1;
  }

  SystemClock clock;
  FileLocks locks;
  sim::BenchFolder store(folder, locks, clock);
  sim::SimBench bench;
  if (!store.Open(bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot read the simulated bench in %s\n",
                 folder.string().c_str());
    return 1;
  }

  // The bench keeps its own settings file, apart from the real tool's.
  IniSettingsStore settings(folder);
  SlowLink slowLink(bench, clock, *answerMs);
  HidBackend& hid = *answerMs == 0 ? static_cast<HidBackend&>(bench) : slowLink;
  Environment environment{hid, clock, settings, platform::StandardOutput()};
  environment.progress = platform::ProgressTerminal();
  const int result = RunDriver(platform::CommandLineArguments(argc, argv), environment);

  if (store.damaged()) {
    std::fprintf(stderr, "dravlopro-sim: cannot read the simulated bench in %s\n",
                 folder.string().c_str());
  }
  if (!store.Save(bench)) {
    std::fprintf(stderr, "dravlopro-sim: cannot save the simulated bench in %s\n",
                 folder.string().c_str());
  }
  return result;
}
