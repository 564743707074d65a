#include <QGuiApplication>
#include <iostream>
#include <string>
#include <vector>

#include "cli/batch_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (velmora::batch::wantsCaption(args)) {
    // The caption needs fonts, not a display: the offscreen platform works on any machine.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return velmora::batch::batchMain(args, std::cout, std::cerr);
  }
  return velmora::batch::batchMain(args, std::cout, std::cerr);
}
