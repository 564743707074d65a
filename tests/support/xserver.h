#pragma once

// A test's own X server: Xvfb started on a free display (-displayfd), optionally the openbox window
// manager on it, and the test program run again in a child process on that display; plus what X itself
// says of a window (its frame, the pointer, a widget's centre on the root window).

#include <QPoint>
#include <QRect>
#include <QString>
#include <string>
#include <vector>

class QWidget;

namespace velmora::test {

// One run of the checks in a child on the prepared display.
struct XRun {
  std::string mode;              // the value of the mode variable the child sees; "none" runs without a window manager
  std::vector<std::string> env;  // more entries of the child's environment
};

// Starts Xvfb (width x height x 24), runs each run in order (openbox started before the first run with a
// mode other than "none"), and gives the first failing child's exit code, 0 when all passed. 77 (skipped)
// when Xvfb or openbox is missing, unless VELMORA_REQUIRE_WM is set, which makes that a failure.
int RunUnderXvfb(int argc, char** argv, const char* modeVariable, int width, int height, const std::vector<XRun>& runs);

struct XState {
  QRect frame;  // the window manager's frame, or the window itself without one, on the root window
  QPoint pointer;
  QPoint target;  // the given widget's centre on the root window
  bool framed = false;
  QString title;  // _NET_WM_NAME, what the window manager shows in the title bar
};

// Reads the window's frame, the pointer and where the widget's centre lies, from the X server. On Qt's own
// connection, so every request Qt made before (the pointer warp among them) has been handled. Positions
// are the X server's pixels.
XState ReadX(const QWidget& window, const QWidget* widget);

}  // namespace velmora::test
