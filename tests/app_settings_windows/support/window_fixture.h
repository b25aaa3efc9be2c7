#pragma once
// Settings in a temporary configuration folder, the recorded messages, and
// small helpers to reach a window's widgets by name.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QGroupBox>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/user_messages.h"
#include "config/config_files.h"
#include "config/settings.h"

namespace vireluz::testing {

struct WindowFixture : ::testing::Test {
  Settings settings;
  RecordingMessages messages;
  std::string dir;

  void SetUp() override {
    char tmpl[] = "/tmp/vireluz_settings_win_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    settings.ConfigDir = dir + "/";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  bool file_exists(const char* name) const { return std::filesystem::exists(settings.ConfigDir + name); }
  std::string file(const char* name) const {
    std::ifstream in(settings.ConfigDir + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  Settings reload() const {
    Settings s;
    s.ConfigDir = settings.ConfigDir;
    lire_configuration(s);
    return s;
  }
  std::vector<Text> message_texts() const {
    std::vector<Text> v;
    for (const UserMessage& m : messages.messages) v.push_back(m.text);
    return v;
  }
};

// The child widget of that name; fails the test when there is none.
template <typename W>
W* child(QWidget& window, const char* name) {
  W* w = window.findChild<W*>(QString::fromLatin1(name));
  EXPECT_NE(w, nullptr) << name;
  return w;
}

// The widgets laid out in the window (its own children and those of its group
// boxes) that carry no objectName.
inline QStringList unnamed_widgets(QWidget& window) {
  QStringList unnamed;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    QWidget* parent = w->parentWidget();
    const bool laid_out = parent == &window || qobject_cast<QGroupBox*>(parent) != nullptr;
    if (laid_out && w->objectName().isEmpty()) unnamed << w->metaObject()->className();
  }
  return unnamed;
}

inline QString u(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace vireluz::testing
