#pragma once

#include <string>

#include "base/run_observer.h"
#include "sim/sim_bench.h"
#include "sim/sim_store.h"

namespace dravlopro::sim {

// Saves the bench folder's targets as each command of a run ends (when the
// next one starts), as a real board keeps what each command did however the
// run ends later, and passes what it hears on to the next observer.
class BenchKeeper : public RunObserver {
 public:
  BenchKeeper(BenchFolder& store, SimBench& bench, RunObserver* next)
      : store_(store), bench_(bench), next_(next) {}

  void CommandStarted(const std::wstring& word) override {
    store_.Keep(bench_);
    if (next_ != nullptr) next_->CommandStarted(word);
  }
  void AdapterOpened(const std::wstring& serial, const std::string& version) override {
    if (next_ != nullptr) next_->AdapterOpened(serial, version);
  }

 private:
  BenchFolder& store_;
  SimBench& bench_;
  RunObserver* next_;
};

}  // namespace dravlopro::sim
