#include "cli/stopsignals.h"

#include <array>

namespace velmora::batch {

namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

// Written by the handler, which may touch nothing but a lock-free atomic.
std::atomic<int> gCaught{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction gPrevious[kSignals.size() + 1];

extern "C" void OnStopSignal(int number) {
  int none = 0;
  gCaught.compare_exchange_strong(none, number);
}

}  // namespace

StopSignals::StopSignals() {
  gCaught = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Writes, reads and waits go on where the signal found them.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &gPrevious[i]);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &gPrevious[kSignals.size()]);
}

StopSignals::~StopSignals() {
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
  sigaction(SIGPIPE, &gPrevious[kSignals.size()], nullptr);
}

const std::atomic<int>& StopSignals::caught() const { return gCaught; }

const char* signalName(int number) {
  switch (number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "sygnał";
  }
}

}  // namespace velmora::batch
