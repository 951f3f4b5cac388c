#pragma once

#include <filesystem>
#include <memory>

#include "platform/file_lock.h"
#include "sim/sim_store.h"

namespace dravlopro::sim {

// The bench folder's locks as lock files that other processes see.
class FileLocks final : public sim::FolderLocks {
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

}  // namespace dravlopro::sim
