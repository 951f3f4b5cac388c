#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/clock.h"
#include "sim/sim_bench.h"

namespace dravlopro::sim {

// The locks through which runs sharing one bench folder take turns: one for
// the bench list, one per adapter. A lock is held until its Held is
// destroyed.
class FolderLocks {
 public:
  class Held {
   public:
    virtual ~Held() = default;
  };
  enum class Attempt { Taken, Busy, Failed };

  virtual ~FolderLocks() = default;
  // Tries once, without waiting, to take the lock kept in this file.
  virtual Attempt TryTake(const std::filesystem::path& file, std::unique_ptr<Held>& out) = 0;
};

// How long a run waits for a lock that another run holds, and how often it
// looks again meanwhile.
constexpr std::uint32_t kLockWaitMs = 30000;
constexpr std::uint32_t kLockPollMs = 10;

// A simulated bench kept in a folder between runs, and shared by runs that
// go on at the same time. bench.txt lists the adapters; target-N.bin holds
// the lasting state of adapter N's target. A missing target-N.bin stands for
// a fresh target (erased, unlocked) of the kind adapter N's line in bench.txt
// describes after the version: flash=, page= and sram= sizes in bytes, and
// locked for a target that starts with its security lock on.
//
// Open() loads the bench, or creates the default one on the very first run.
// From then on, a run that opens an adapter claims it for the rest of the
// run (other runs on it wait their turn) and reloads what earlier runs saved
// of it. Save() writes back only the adapters the run claimed, each file
// replaced in one step, so that runs on other adapters keep their work and
// no run ever reads a half-written file.
class BenchFolder {
 public:
  BenchFolder(std::filesystem::path folder, FolderLocks& locks, Clock& clock);

  // Fills the empty `bench` and hooks its adapter claims to this folder.
  // False when the bench cannot be read or created (problem() says why).
  bool Open(SimBench& bench);
  // Saves the targets of the adapters this run holds, those that changed
  // since this run last saved them, and keeps holding them: what the run has
  // done so far survives it being stopped. False when a file cannot be
  // written.
  bool Keep(SimBench& bench);
  // Saves what this run changed and lets other runs have its adapters.
  // False when a file cannot be written.
  bool Save(SimBench& bench);
  // True when an adapter's saved state could not be read back when it was
  // claimed (the claim then failed).
  bool damaged() const { return damaged_; }
  // After Open: true when it created the default bench; what is wrong with
  // the bench when it returned false.
  bool created() const { return created_; }
  const std::string& problem() const { return problem_; }

 private:
  bool Claim(SimBench& bench, std::size_t deviceIndex, ClaimWait& wait);
  bool Take(const std::filesystem::path& file, std::unique_ptr<FolderLocks::Held>& out,
            ClaimWait* wait = nullptr);

  std::filesystem::path folder_;
  FolderLocks& locks_;
  Clock& clock_;
  std::string listText_;                  // bench.txt as this run found or created it
  std::vector<std::string> targetWords_;  // by adapter number: the list's words after the version
  std::vector<std::string> unloaded_;     // the list's lines after the adapters a run can choose
  std::map<std::size_t, std::unique_ptr<FolderLocks::Held>> claimed_;  // by adapter number
  std::map<std::size_t, std::string> kept_;  // by adapter number: what this run last saved
  std::set<std::size_t> refused_;            // adapters this run could not claim
  bool damaged_ = false;
  bool created_ = false;
  std::string problem_;
};

}  // namespace dravlopro::sim
