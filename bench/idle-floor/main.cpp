// zarn-idle-floor SECONDS [RATE...]: what waking alone costs on this machine.
//
// One thread per RATE (wakes a second; default the edit command's two:
// one host buffer of 512 frames at 44.1 kHz, and the window's 20 Hz
// timers) sleeps to absolute deadlines on the monotonic clock and does
// nothing else. At the end the process's CPU time is printed as a share of
// one core. An untouched `zarn-host edit` wakes at the same rates, so this
// is the part of its cost that no code of ours can take away; bench/idle-edit
// measures the two side by side, because the figure moves with the machine.

#include "tools/CommandHelp.h"

#include <pthread.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

void sleepAt(double rate, double seconds) {
  pthread_setname_np(pthread_self(), "zarn-idle-wake");
  const long period = static_cast<long>(1e9 / rate);
  const long wakes = static_cast<long>(rate * seconds);
  timespec due{};
  clock_gettime(CLOCK_MONOTONIC, &due);
  for (long i = 0; i < wakes; ++i) {
    due.tv_nsec += period;
    while (due.tv_nsec >= 1'000'000'000) {
      due.tv_nsec -= 1'000'000'000;
      ++due.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) != 0) {
    }
  }
}

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

} // namespace

int main(int argc, char** argv) {
  const char* const usage = "usage: zarn-idle-floor SECONDS [RATE...]\n";
  if (zarn::tools::helpAsked(argc, argv)) {
    char help[512];
    std::snprintf(help, sizeof help,
                  "What waking alone costs: one thread per RATE (wakes a second; default %.2f and 20, the\n"
                  "edit command's host buffer and window timers) sleeps to deadlines for SECONDS, and the\n"
                  "process's CPU time is printed as a share of one core.\n"
                  "  --help               this text\n",
                  44100.0 / 512.0);
    return zarn::tools::usage(true, usage, help);
  }
  const double length = argc > 1 ? std::atof(argv[1]) : 0.0;
  if (argc < 2 || !(length > 0.0)) return zarn::tools::usage(false, usage);
  std::vector<double> rates;
  for (int i = 2; i < argc; ++i) {
    const double rate = std::atof(argv[i]);
    if (!(rate > 0.0 && rate <= 100'000.0)) {
      std::fprintf(stderr, "zarn-idle-floor: a rate is a number of wakes a second, not %s\n", argv[i]);
      return 2;
    }
    rates.push_back(rate);
  }
  if (rates.empty()) rates = {44100.0 / 512.0, 20.0};
  std::vector<std::thread> threads;
  for (double rate : rates) threads.emplace_back(sleepAt, rate, length);
  for (auto& t : threads) t.join();
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  std::printf("%.3f\n", (seconds(use.ru_utime) + seconds(use.ru_stime)) / length * 100.0);
  return 0;
}
