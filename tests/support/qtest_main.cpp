#include "support/qtest_main.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace velmora::test {
namespace {

std::map<std::string, QTestRegistration::Run>& Registry() {
  static std::map<std::string, QTestRegistration::Run> tests;
  return tests;
}

}  // namespace

QTestRegistration::QTestRegistration(const char* file, Run run) {
  std::string name(file);
  name.erase(0, name.find_last_of('/') + 1);
  name.erase(name.find_last_of('.'));
  Registry()[name] = run;
}

}  // namespace velmora::test

// `<program> NAME [Qt Test options]` runs the test object of NAME.cpp alone, as its own program would.
int main(int argc, char** argv) {
  using namespace velmora::test;
  const auto& tests = Registry();
  const auto test = argc > 1 ? tests.find(argv[1]) : tests.end();
  if (test == tests.end()) {
    std::fprintf(stderr, "%s: name one test: ", argv[0]);
    for (const auto& [name, run] : tests) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  std::vector<char*> args{argv[0]};
  args.insert(args.end(), argv + 2, argv + argc);
  args.push_back(nullptr);
  int count = argc - 1;
  prepareQtEnvironment();
  QApplication app(count, args.data());
  app.setAttribute(Qt::AA_Use96Dpi, true);
  StartModalWatchdog();
  return test->second(count, args.data());
}
