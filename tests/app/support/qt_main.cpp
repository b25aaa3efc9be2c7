// The window tests need one QApplication for the whole program, on the
// offscreen platform unless a display was asked for.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <clocale>

#include "app/gui_main.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("LC_ALL", "C.UTF-8", 1);
  std::setlocale(LC_ALL, "C.UTF-8");
  QApplication app(argc, argv);
  vireluz::setup_application();  // as the program does
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
