#include "app/quitsignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace velmora {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGINT};

// Read by the handler only; set before the handlers are installed and cleared after they are removed.
volatile sig_atomic_t gWriteFd = -1;

struct sigaction gPrevious[kSignals.size()];

extern "C" void OnQuitSignal(int number) {
  const int saved = errno;
  const int fd = gWriteFd;
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already holds a request, which is all that matters.
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

TQuitSignals::TQuitSignals(QObject* parent) : QObject(parent) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
  readFd_ = fds[0];
  writeFd_ = fds[1];
  gWriteFd = writeFd_;
  notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TQuitSignals::ReadPipe);
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &gPrevious[i]);
}

TQuitSignals::~TQuitSignals() {
  for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
  gWriteFd = -1;
  notifier_.reset();
  ::close(readFd_);
  ::close(writeFd_);
}

void TQuitSignals::ReadPipe() {
  unsigned char bytes[16];
  for (;;) {
    const ssize_t n = ::read(readFd_, bytes, sizeof bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    for (ssize_t i = 0; i < n; ++i) emit quitRequested(bytes[i]);
  }
}

}  // namespace velmora
