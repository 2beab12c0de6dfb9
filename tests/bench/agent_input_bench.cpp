// Cost of one keyboard event through the filter's decision and its log line.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "agent/core/options.h"
#include "agent/input/key_filter.h"
#include "common/log/log.h"
#include "common/log/log_queue.h"

namespace {

void BuildSets() {
  zv::TraySettings s;
  s.m_strProtectKeyList = u"ALT+TAB,ALT+F4,ALT+D,ALT+ESC,ALT+ENTER,ALT+HOME,ALT+SPACE,CTRL,WIN,PRINT,F1~F12";
  zv::BuildFilterTables(s);
}

// The hook procedure's body without the Windows call at its end.
bool OneEvent(uint32_t flags, uint32_t vk) {
  const auto decision = zv::DecideKeyEvent(0, flags, vk, zv::g_setAltKeys, zv::g_setKeys);
  if (decision == zv::HookDecision::Swallow) {
    FILE_LOG(logDEBUG) << "Key Event blocked : " << zv::FormatKeyEventText(flags, vk, 0x100, 0x12fe40);
    return true;
  }
  FILE_LOG(logDEBUG) << "### Key Event unblocked : " << zv::FormatKeyEventText(flags, vk, 0x100, 0x12fe40);
  return false;
}

void BM_DecisionListedKey(benchmark::State& state) {
  BuildSets();
  for (auto _ : state) benchmark::DoNotOptimize(zv::DecideKeyEvent(0, 0, 0xA2, zv::g_setAltKeys, zv::g_setKeys));
}
BENCHMARK(BM_DecisionListedKey);

void BM_DecisionUnlistedKey(benchmark::State& state) {
  BuildSets();
  for (auto _ : state) benchmark::DoNotOptimize(zv::DecideKeyEvent(0, 0, 0x41, zv::g_setAltKeys, zv::g_setKeys));
}
BENCHMARK(BM_DecisionUnlistedKey);

void BM_EventLogFilteredByLevel(benchmark::State& state) {
  BuildSets();
  FILELog::ReportingLevel() = logINFO;
  for (auto _ : state) benchmark::DoNotOptimize(OneEvent(0, 0xA2));
  FILELog::ReportingLevel() = logDEBUG4;
}
BENCHMARK(BM_EventLogFilteredByLevel);

void BM_EventLogSwitchedOff(benchmark::State& state) {
  BuildSets();
  g_bLogEnabled = 0;
  for (auto _ : state) benchmark::DoNotOptimize(OneEvent(0, 0x41));
  g_bLogEnabled = 1;
}
BENCHMARK(BM_EventLogSwitchedOff);

void BM_EventWithDebugLineToFile(benchmark::State& state) {
  BuildSets();
  FILE* saved = Output2FILE::Stream();
  FILE* file = std::fopen("/tmp/zv_bench_log.txt", "w");
  Output2FILE::Stream() = file;
  FILELog::ReportingLevel() = logDEBUG3;
  for (auto _ : state) benchmark::DoNotOptimize(OneEvent(0, 0xA2));
  Output2FILE::Stream() = saved;
  std::fclose(file);
  std::remove("/tmp/zv_bench_log.txt");
}
BENCHMARK(BM_EventWithDebugLineToFile);

// What the hook procedure does for its line now: the decision, the text
// formatted into the stack, the record handed to the lock-free queue (taken
// off again here, as the writer thread would, so the queue never fills).
void BM_EventWithDebugLineQueued(benchmark::State& state) {
  BuildSets();
  static zv::LineQueue<1024> queue;
  zv::QueuedLine line;
  for (auto _ : state) {
    const bool swallow =
        zv::DecideKeyEvent(0, 0, 0xA2, zv::g_setAltKeys, zv::g_setKeys) == zv::HookDecision::Swallow;
    char text[zv::kQueuedLineText];
    const size_t n = zv::FormatKeyEventLine(text, sizeof text, swallow ? "Key Event blocked : " : "### Key Event unblocked : ",
                                            0, 0xA2, 0x100, 0x12fe40);
    benchmark::DoNotOptimize(queue.Push({}, logDEBUG, std::string_view(text, n)));
    benchmark::DoNotOptimize(queue.Pop(line));
  }
}
BENCHMARK(BM_EventWithDebugLineQueued);

// The floor for a written line: one fwrite and one fflush of the same length.
void BM_PlainFwriteFflush(benchmark::State& state) {
  const std::string line =
      "[18:01:02.345] DEBUG: Key Event blocked : flag: 0x 0, vkCode: 0xa2, (code:0, wParam:100, lParam:12fe40)\n";
  FILE* file = std::fopen("/tmp/zv_bench_raw.txt", "w");
  for (auto _ : state) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
  }
  std::fclose(file);
  std::remove("/tmp/zv_bench_raw.txt");
}
BENCHMARK(BM_PlainFwriteFflush);

}  // namespace

namespace {

// The parts of a written line: the stamp and an empty line object.
void BM_NowTime(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(NowTime());
}
BENCHMARK(BM_NowTime);

void BM_EventTextOnly(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(zv::FormatKeyEventText(0, 0xA2, 0x100, 0x12fe40));
}
BENCHMARK(BM_EventTextOnly);

}  // namespace
