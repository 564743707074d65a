#pragma once

#include <QApplication>
#include <QTest>

#include "support/modal_helpers.h"
#include "support/test_env.h"

namespace velmora::test {

// A test object of a program that holds those of a whole folder, listed under its file's name
// (application_test for application_test.cpp); support/qtest_main.cpp runs the one its first
// argument names.
struct QTestRegistration {
  using Run = int (*)(int argc, char** argv);
  QTestRegistration(const char* file, Run run);
};

}  // namespace velmora::test

// In place of QTEST_MAIN. The program's main makes the run headless whatever the caller's environment
// and starts the watchdog that fails a test whose modal dialog nobody answers. The registration's name
// is numbered, so that several test files compiled as one unit keep one each.
#define VELMORA_QTEST_CONCAT2(a, b) a##b
#define VELMORA_QTEST_CONCAT(a, b) VELMORA_QTEST_CONCAT2(a, b)
#define VELMORA_QTEST_MAIN(TestObject)                                                                           \
  namespace {                                                                                                    \
  const velmora::test::QTestRegistration VELMORA_QTEST_CONCAT(velmoraQTestRegistration,                          \
                                                              __COUNTER__)(__FILE__, [](int argc, char** argv) { \
    TestObject tc;                                                                                               \
    QTEST_SET_MAIN_SOURCE_PATH                                                                                   \
    return QTest::qExec(&tc, argc, argv);                                                                        \
  });                                                                                                            \
  }
