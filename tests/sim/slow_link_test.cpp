// dravlopro-sim's slow link ($DRAVLOPRO_SIM_ANSWER_MS): answers late by the
// same time as the bench's own late answers, which the stall tests of the
// link use, give the same run: the same requests, output, result and time.
#include "sim/slow_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness.h"

namespace dravlopro {
namespace {

using testing::Bench;

struct Run {
  int code = -1;
  std::string out;
  std::vector<Report> requests;
  std::uint64_t elapsedMs = 0;
};

Run Observe(Bench& bench, const std::vector<std::string>& words) {
  Run run;
  run.code = bench.Run(words);
  run.out = bench.output();
  for (const sim::TraceEntry& e : bench.hid.trace) run.requests.push_back(e.request);
  run.elapsedMs = bench.clock.elapsedMs;
  return run;
}

void ExpectSameRun(std::uint32_t answerMs, const std::vector<std::string>& words, int code) {
  SCOPED_TRACE(std::to_string(answerMs) + " ms");
  Bench model;
  model.hid.AddAdapter(L"A1");
  for (std::size_t i = 0; i < 10000; ++i) model.hid.lateAnswers[i] = answerMs;
  const Run expected = Observe(model, words);
  EXPECT_EQ(expected.code, code);

  Bench slow;
  slow.hid.AddAdapter(L"A1");
  sim::SlowLink link(slow.hid, slow.clock, answerMs);
  slow.via = &link;
  const Run got = Observe(slow, words);
  EXPECT_EQ(got.code, expected.code);
  EXPECT_EQ(got.out, expected.out);
  EXPECT_TRUE(got.requests == expected.requests);
  EXPECT_EQ(got.elapsedMs, expected.elapsedMs);
}

TEST(SlowLink, LateAnswersTimeOutAndResynchroniseAsOnTheLink) {
  // Beyond the 5 s answer timeout: every read times out, and the target
  // cannot be reached (2), as over a stalled link.
  ExpectSameRun(6000, {"-halt"}, 2);
  // Within it: every answer is waited for.
  ExpectSameRun(40, {"-halt", "-r32", "0x20000000", "20"}, 0);
}

}  // namespace
}  // namespace dravlopro
