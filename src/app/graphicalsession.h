#pragma once

// The start of the window program before any Qt object exists: a private runtime folder when the session
// has none (Qt would say so on every start), and a plain Polish line instead of Qt's abort when there is
// no display to open the window on.

namespace velmora {

// The one line the program prints when it cannot show its window.
inline constexpr char kNoGraphicalSession[] =
    "velmora: okno programu wymaga sesji graficznej (ekranu X11 lub Wayland); bez niej użyj velmora-batch "
    "(velmora-batch --help)\n";
// Its exit code.
inline constexpr int kNoGraphicalSessionExit = 2;

// Sets XDG_RUNTIME_DIR to a private 0700 folder of this user when it is not set.
void EnsureRuntimeFolder();

// False when no platform was chosen (QT_QPA_PLATFORM) and neither DISPLAY nor WAYLAND_DISPLAY names a
// display.
bool GraphicalSessionNamed();

// While it lives, a platform that cannot start (a display named but not there) prints kNoGraphicalSession
// and ends the process with kNoGraphicalSessionExit instead of aborting with Qt's messages; Qt's messages
// meanwhile are held back and passed on when it goes.
class TPlatformStartGuard {
 public:
  TPlatformStartGuard();
  ~TPlatformStartGuard();
  TPlatformStartGuard(const TPlatformStartGuard&) = delete;
  TPlatformStartGuard& operator=(const TPlatformStartGuard&) = delete;
};

}  // namespace velmora
