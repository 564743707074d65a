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
// and starts the watchdog that fails a test whose modal dialog nobody answers.
#define VELMORA_QTEST_MAIN(TestObject)                                                        \
  namespace {                                                                                 \
  int VelmoraRunQTest(int argc, char** argv) {                                                \
    TestObject tc;                                                                            \
    QTEST_SET_MAIN_SOURCE_PATH                                                                \
    return QTest::qExec(&tc, argc, argv);                                                     \
  }                                                                                           \
  const velmora::test::QTestRegistration velmoraQTestRegistration(__FILE__, VelmoraRunQTest); \
  }
