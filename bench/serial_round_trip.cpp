// Times the ":O", ":P", ":Q" round trips of a read through SerialLink, step by step, with the
// process's CPU time. Usage: velkorin-bench-serial PORT [ROUNDS]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/exchange.h"
#include "protocol/frames.h"
#include "serial/serial_link.h"

namespace {

double NowMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velkorin;
  if (argc < 2) {
    std::fprintf(stderr, "usage: velkorin-bench-serial PORT [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 500;
  if (rounds < 1) {
    std::fprintf(stderr, "velkorin-bench-serial: ROUNDS must be a whole number above 0\n");
    return 2;
  }
  const int warmUp = 20;
  SerialLink link;
  if (!link.Open(argv[1], kLineSpeed)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], link.LastError().text.c_str());
    return 1;
  }
  const auto steps = ReadExchangeSteps();
  std::vector<std::vector<double>> wall(steps.size());
  std::vector<double> roundWall;
  double cpuMs = 0;
  std::uint8_t buffer[kLongestFrame];
  const GatewaySettings none{};
  for (int r = -warmUp; r < rounds; ++r) {
    const double cpuStart = NowMs(CLOCK_PROCESS_CPUTIME_ID);
    const double roundStart = NowMs(CLOCK_MONOTONIC);
    for (std::size_t s = 0; s < steps.size(); ++s) {
      const ExchangeStep& step = steps[s];
      const std::string frame = step.build(none);
      const double start = NowMs(CLOCK_MONOTONIC);
      const bool ok =
          link.Write(reinterpret_cast<const std::uint8_t*>(frame.data()),
                     static_cast<std::int32_t>(frame.size()), step.drainLimitMs) &&
          link.Read(buffer, static_cast<std::int32_t>(step.replyLength), step.firstByteLimitMs);
      if (!ok) {
        std::fprintf(stderr, "step %c failed: %s\n", step.letter, link.LastError().text.c_str());
        return 1;
      }
      if (r >= 0) wall[s].push_back(NowMs(CLOCK_MONOTONIC) - start);
    }
    if (r >= 0) {
      roundWall.push_back(NowMs(CLOCK_MONOTONIC) - roundStart);
      cpuMs += NowMs(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    }
  }
  std::printf("%-6s %8s %8s %8s %8s %8s\n", "step", "bytes", "median", "p90", "max", "floor");
  double floorTotal = 0;
  for (std::size_t s = 0; s < steps.size(); ++s) {
    const std::size_t bytes = kQueryLength + steps[s].replyLength;
    // Ten bits a byte each way at the line speed, plus the gateway's 2 ms turnaround.
    const double floor = static_cast<double>(bytes) * 10.0 * 1000.0 / kLineSpeed + 2.0;
    floorTotal += floor;
    std::printf(":%-5c %8zu %8.3f %8.3f %8.3f %8.3f\n", steps[s].letter, bytes,
                Percentile(wall[s], 0.5), Percentile(wall[s], 0.9),
                Percentile(wall[s], 1.0), floor);
  }
  std::printf("%-6s %8s %8.3f %8.3f %8.3f %8.3f\n", "round", "", Percentile(roundWall, 0.5),
              Percentile(roundWall, 0.9), Percentile(roundWall, 1.0), floorTotal);
  std::printf("cpu per step: %.3f ms (%d rounds)\n",
              cpuMs / static_cast<double>(rounds) / static_cast<double>(steps.size()), rounds);
  return 0;
}
