#pragma once

#include <filesystem>

namespace dravlopro::platform {

// Built per operating system in platform/stop_removal_*.cpp; portable here,
// so that the settings file can use it too.
//
// A temporary file that must not outlive a run stopped by Ctrl-C or a
// request to end it: while armed, such a stop removes the file before the
// run ends as the stop would end it. One file at a time per process; a
// signal the process ignores stays ignored.
class RemovedOnStop {
 public:
  RemovedOnStop() = default;
  ~RemovedOnStop();
  RemovedOnStop(const RemovedOnStop&) = delete;
  RemovedOnStop& operator=(const RemovedOnStop&) = delete;

  // Arm and disarm with the stops held (StopsHeld), so that the file and its
  // removal come and go together. False when another file is armed already.
  bool Arm(const std::filesystem::path& file);
  void Disarm();

 private:
  std::filesystem::path file_;
  bool armed_ = false;
};

// Holds the stops back while it lives: one that comes meanwhile takes effect
// when it ends.
class StopsHeld {
 public:
  StopsHeld();
  ~StopsHeld();
  StopsHeld(const StopsHeld&) = delete;
  StopsHeld& operator=(const StopsHeld&) = delete;

 private:
  alignas(8) unsigned char saved_[128];  // the platform's saved state
};

}  // namespace dravlopro::platform
