#pragma once

// SIGTERM, SIGHUP and SIGINT as a Qt signal on the event loop, so a logout, a kill or Ctrl+C in the
// terminal ends the program by its normal close path and its settings are written. The handler does
// nothing but write the signal's number into a pipe (the self-pipe trick: write is async-signal-safe);
// a QSocketNotifier reads it on the event loop.

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace velmora {

class TQuitSignals : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers; one instance at a time (the handler needs its pipe in a process-wide
  // variable, the one piece of global state of the window program).
  explicit TQuitSignals(QObject* parent = nullptr);
  // Puts the previous handlers back.
  ~TQuitSignals() override;
  TQuitSignals(const TQuitSignals&) = delete;
  TQuitSignals& operator=(const TQuitSignals&) = delete;

 signals:
  void quitRequested(int signalNumber);

 private:
  void ReadPipe();

  int readFd_ = -1;
  int writeFd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace velmora
