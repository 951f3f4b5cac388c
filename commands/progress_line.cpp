#include "commands/progress_line.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "commands/run_context.h"

namespace dravlopro {

namespace {

// Whole percent, rounded down, so that 100 means all of it.
std::uint64_t Percent(std::uint64_t done, std::uint64_t total) {
  if (done <= std::numeric_limits<std::uint64_t>::max() / 100) return done * 100 / total;
  return done / (total / 100);
}

}  // namespace

ProgressLine::ProgressLine(OutputSink& terminal, Clock& clock, std::string label, std::string unit,
                           std::string activity)
    : terminal_(terminal),
      clock_(clock),
      label_(std::move(label)),
      unit_(std::move(unit)),
      activity_(std::move(activity)) {}

void ProgressLine::Start(std::uint64_t now) {
  if (started_) return;
  started_ = true;
  sinceMs_ = now;
}

void ProgressLine::Update(std::uint64_t done, std::uint64_t total) {
  const std::uint64_t now = clock_.NowMs();
  Start(now);
  done = std::min(done, total);
  if (done != done_ || total != total_) sinceMs_ = now;
  total_ = total;
  done_ = done;
  Draw(now);
}

void ProgressLine::Waiting() {
  const std::uint64_t now = clock_.NowMs();
  Start(now);
  Draw(now);
}

std::string ProgressLine::Text(std::uint64_t now) const {
  std::string text = label_ + ": ";
  if (total_ == 0) {
    text += activity_;
  } else {
    text += std::to_string(done_) + "/" + std::to_string(total_) + " " + unit_ + " (" +
            std::to_string(Percent(done_, total_)) + "%)";
  }
  const std::uint64_t waited = now >= sinceMs_ ? now - sinceMs_ : 0;
  if (waited >= kProgressWaitShownMs) {
    text += ", waiting " + std::to_string(waited / 1000) + " s";
  }
  return text;
}

void ProgressLine::Draw(std::uint64_t now) {
  std::string text = Text(now);
  if (drawn_ && (text == shown_ || now - drawnMs_ < kProgressRedrawMs)) return;
  const std::size_t length = text.size();
  if (length < width_) text.append(width_ - length, ' ');
  // Lines are built by appending: GCC 12's -Wrestrict misreads `"\r" + text`
  // when a Release build inlines it.
  std::string line(1, '\r');
  line += text;
  terminal_.Write(line);
  width_ = std::max(width_, length);
  shown_ = text.substr(0, length);
  drawn_ = true;
  drawnMs_ = now;
}

void ProgressLine::Finish() {
  if (drawn_) {
    std::string blank(1, '\r');
    blank.append(width_, ' ');
    blank += '\r';
    terminal_.Write(blank);
  }
  started_ = false;
  drawn_ = false;
  shown_.clear();
  width_ = 0;
  done_ = 0;
  total_ = 0;
}

CommandProgress::CommandProgress(RunContext& context, std::string label, std::string unit,
                                 std::string activity) {
  if (context.progressTerminal == nullptr || context.console.quiet()) return;
  line_.emplace(*context.progressTerminal, context.clock, std::move(label), std::move(unit),
                std::move(activity));
}

}  // namespace dravlopro
