#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/clock.h"
#include "base/console.h"
#include "base/progress.h"

namespace dravlopro {

struct RunContext;

// The line is drawn at most this often: about ten times a second.
constexpr std::uint64_t kProgressRedrawMs = 100;
// A wait for the adapter this long, without anything new to count, shows its
// seconds.
constexpr std::uint64_t kProgressWaitShownMs = 1000;

// One line on a terminal that tells how far a command is, drawn again in
// place: a carriage return, the text, and blanks over whatever a longer text
// before it left. The first call draws it at once; after that it is drawn
// again only when its text changed and at least kProgressRedrawMs went by,
// so a fast operation costs a few drawings a second whatever it reports.
// Finish() blanks the line and puts the cursor back at its start, so the
// terminal reads as if the line had never been there. Its texts:
//
//   -a: 123456/1048576 bytes (11%)
//   -a: 1048576/1048576 bytes (100%), waiting 3 s
//   -me: erasing, waiting 12 s
//
// The second kind is an answer the adapter has not given yet, counted from
// the moment the count last moved; the third a wait with nothing to count
// (the adapter tells nothing until it is done).
class ProgressLine : public Progress {
 public:
  // label: the command word; unit: what Update counts; activity: the text
  // shown while there is nothing to count.
  ProgressLine(OutputSink& terminal, Clock& clock, std::string label, std::string unit,
               std::string activity);
  ~ProgressLine() override { Finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Update(std::uint64_t done, std::uint64_t total) override;
  void Waiting() override;
  // Erases the line if it was drawn. A later Update starts it afresh.
  void Finish();

 private:
  void Start(std::uint64_t now);
  std::string Text(std::uint64_t now) const;
  void Draw(std::uint64_t now);

  OutputSink& terminal_;
  Clock& clock_;
  const std::string label_;
  const std::string unit_;
  const std::string activity_;

  bool started_ = false;
  std::uint64_t sinceMs_ = 0;  // the count last moved, or the first call
  std::uint64_t done_ = 0;
  std::uint64_t total_ = 0;

  bool drawn_ = false;
  std::string shown_;          // the text drawn last
  std::size_t width_ = 0;      // the columns the line has covered
  std::uint64_t drawnMs_ = 0;  // when it was drawn last
};

// The progress line of one command: on the run's progress terminal when it
// has one and the run is not quiet, otherwise none at all. The line is erased
// when this goes, that is when the command ends, before anything else is
// printed.
class CommandProgress {
 public:
  CommandProgress(RunContext& context, std::string label, std::string unit,
                  std::string activity = "working");
  Progress& progress() { return line_ ? static_cast<Progress&>(*line_) : NoProgress(); }

 private:
  std::optional<ProgressLine> line_;
};

}  // namespace dravlopro
