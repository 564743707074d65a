#pragma once

#include <QApplication>
#include <QTest>

#include "support/modal_helpers.h"
#include "support/test_env.h"

// Like QTEST_MAIN, but headless whatever the caller's environment, and with the watchdog that fails a
// test whose modal dialog nobody answers.
#define VELMORA_QTEST_MAIN(TestObject)              \
  int main(int argc, char** argv) {                 \
    velmora::test::prepareQtEnvironment();          \
    QApplication app(argc, argv);                   \
    app.setAttribute(Qt::AA_Use96Dpi, true);        \
    velmora::test::StartModalWatchdog();            \
    TestObject tc;                                  \
    QTEST_SET_MAIN_SOURCE_PATH                      \
    return QTest::qExec(&tc, argc, argv);           \
  }
