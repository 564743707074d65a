#include <gtest/gtest.h>

#include <QGuiApplication>

#include "support/test_env.h"

// Core tests get a headless QGuiApplication, so code that measures or draws text can run.
int main(int argc, char** argv) {
  velmora::test::prepareQtEnvironment();
  testing::InitGoogleTest(&argc, argv);
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
