// The run report of a 64 MiB image (8192 blocks), as a flaky line leaves it: how long the page
// takes to write and how large it is; and, with "page FILE", the page itself, for
// bench/report_open.sh to time in a browser.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "link/commands.h"
#include "platform/kernel/clock.h"
#include "ui/run_report.h"

namespace {

constexpr int kBlocks = 8192;

// Every block confirmed in 140 to 180 ms, every 97th after a NAK, every 1000th left after a silence.
RunAccount FlakyRun(platform::ManualClock& clock) {
  RunAccount account;
  account.Clear();
  account.BeginArea(0, kBlocks * 8192u, kBlocks);
  account.SentHello();
  clock.Advance(3);
  account.Acknowledged();
  account.SentErase();
  clock.Advance(4200);
  account.Acknowledged();
  for (int i = 0; i < kBlocks; ++i) {
    account.SentBlock(i, false);
    clock.Advance(140 + static_cast<std::uint64_t>(i * 7919 % 41));
    if (i % 1000 == 999) {
      clock.Advance(3000);
      account.NoAnswer();
      continue;
    }
    if (i % 97 == 0) {
      account.Refused(NAK_BAD_CRC);
      account.Resent();
      clock.Advance(150);
    }
    account.Acknowledged();
  }
  return account;
}

ServiceRecord FlakyRecord() {
  ServiceRecord record;
  record.portNumber = 3;
  record.device = "/dev/serial/by-id/usb-Korvant_Handset_1-if00";
  record.downloadType = "EMERGENCY";
  record.code = ImageFacts{"/home/technician/images/PHONE_64M.bin", true, kBlocks * 8192ull, std::string(64, 'a')};
  record.ends = {RunEnd::CompletedUnconfirmed};
  record.elapsedMs = 1500000;
  return record;
}

std::vector<LogPiece> LogOf() {
  std::vector<LogPiece> log;
  for (int i = 0; i < 100; ++i) log.push_back(LogPiece{"NAK_BAD_CRC. Retry", RGB(0, 0, 255), true});
  return log;
}

void FormatPage(benchmark::State& state) {
  platform::ManualClock clock;
  platform::UseClock(&clock);
  const RunAccount account = FlakyRun(clock);
  platform::UseClock(nullptr);
  const ServiceRecord record = FlakyRecord();
  const std::vector<LogPiece> log = LogOf();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string page = FormatRunReport(record, account, log);
    bytes = page.size();
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
  state.counters["account_bytes_per_block"] = sizeof(RunAccount::Block);
}
BENCHMARK(FormatPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "page") {
    platform::ManualClock clock;
    platform::UseClock(&clock);
    const RunAccount account = FlakyRun(clock);
    platform::UseClock(nullptr);
    std::ofstream(argv[2]) << FormatRunReport(FlakyRecord(), account, LogOf());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
