#pragma once
// A test of the window: its own registry file (TALVIX_REGISTRY), message boxes caught instead of
// shown, helpers to write registry keys in regedit's text form, and a hand for the save dialog.
#include "registry/registry_store.h"
#include "shell/auto_iep_cen_sad.h"
#include "shell/message_boxes.h"
#include "shell/progress_list.h"
#include "shell/progress_menu.h"
#include "shell/settings_store.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace talvix::test {

struct Box {
  shell::BoxKind kind;
  std::string text;
};

// Answers the save dialog that the next step opens as a person would: types the path and, when the
// dialog asks whether to replace the file there, says yes.
inline void answerSaveDialog(const QString& path, int triesLeft = 300) {
  QTimer::singleShot(10, [path, triesLeft] {
    auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!files) {
      if (triesLeft > 0) answerSaveDialog(path, triesLeft - 1);
      return;
    }
    files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    QTimer::singleShot(10, [] {
      if (auto* replace = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        replace->button(QMessageBox::Yes)->click();
    });
    files->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Save)->click();
  });
}

class ShellTest : public ::testing::Test {
 protected:
  ShellTest() : registryPath(dir.file("registry.reg")), registry(registryPath) {
    setenv("TALVIX_REGISTRY", registryPath.c_str(), 1);
    shell::setBoxHandler([this](shell::BoxKind kind, const std::string& text) { boxes.push_back({kind, text}); });
  }
  ~ShellTest() override {
    shell::setBoxHandler({});
    unsetenv("TALVIX_REGISTRY");
  }

  // Replaces the registry file with these sections (regedit's text after the header).
  void writeRegistry(const std::string& sections) {
    std::ofstream(registryPath, std::ios::binary) << "Windows Registry Editor Version 5.00\n\n" << sections;
  }

  // The database list naming these connection strings, and LastDBIndex when given.
  void listDatabases(const std::vector<std::pair<std::string, std::string>>& databases, const std::string& extra = "") {
    std::string text = "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n";
    for (const auto& [name, connection] : databases) text += quoted(name) + "=" + quoted(connection) + "\n";
    writeRegistry(text + "\n" + extra);
  }

  static std::string quoted(const std::string& text) {
    return text == "@" ? text : "\"" + text + "\"";
  }

  std::unique_ptr<RegistryKey> settingsKey() { return registry.openForRead(shell::kSettingsKey); }

  TempDir dir;
  std::string registryPath;
  RegFileStore registry;
  std::vector<Box> boxes;
};

// Opens the progress list's menu as the right mouse button or the Menu key does.
inline void openProgressMenu(TAutoIepCenSad& window, QContextMenuEvent::Reason reason = QContextMenuEvent::Mouse) {
  QWidget* target = reason == QContextMenuEvent::Mouse ? window.lstProcess->viewport() : window.lstProcess;
  QContextMenuEvent open(reason, QPoint(4, 4), target->mapToGlobal(QPoint(4, 4)));
  QApplication::sendEvent(target, &open);
}

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace talvix::test
