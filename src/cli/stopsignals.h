#pragma once

// SIGINT, SIGTERM and SIGHUP as "Zatrzymaj" for velmora-batch: the handler only notes the signal in
// an atomic the batch run reads before each file, so no new file starts, the files in flight finish,
// and the summary is printed. SIGPIPE is ignored meanwhile: a closed stdout or stderr (a pager quit,
// `| head`) loses the text, not the run.

#include <atomic>
#include <csignal>

namespace velmora::batch {

class StopSignals {
 public:
  // Installs the handlers; one instance at a time (the handler's atomic is process-wide, the one piece
  // of global state of velmora-batch).
  StopSignals();
  // Puts the previous handlers back.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first of those signals that came, 0 while none did.
  const std::atomic<int>& caught() const;
};

// "SIGTERM", "SIGINT", "SIGHUP".
const char* signalName(int number);

}  // namespace velmora::batch
