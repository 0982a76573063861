#include "login/LaunchAgent.h"

#include "app/AppDelegate.h"
#include "app/Constants.h"

namespace tl {

namespace {
std::string xmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string domainTarget() { return "gui/" + std::to_string(platform().processInfo().userID()); }
}  // namespace

std::string launchAgentPlist(const std::string& label, const std::string& executablePath) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n"
         "<dict>\n"
         "    <key>Label</key>\n"
         "    <string>" + xmlEscaped(label) + "</string>\n"
         "    <key>ProgramArguments</key>\n"
         "    <array>\n"
         "        <string>" + xmlEscaped(executablePath) + "</string>\n"
         "    </array>\n"
         "    <key>RunAtLoad</key>\n"
         "    <true/>\n"
         "    <key>KeepAlive</key>\n"
         "    <false/>\n"
         "    <key>LimitLoadToSessionType</key>\n"
         "    <string>Aqua</string>\n"
         "</dict>\n"
         "</plist>";
}

std::string AppDelegate::launchAgentPath() const {
  return platform().fileManager().homeDirectory() + "/Library/LaunchAgents/" + kLaunchAgentLabel + ".plist";
}

void AppDelegate::setLaunchAtLogin(bool enabled) {
  Platform& p = platform();
  FileManager& files = p.fileManager();
  if (enabled) {
    auto executable = p.processInfo().executablePath();
    if (!executable) return;
    std::string text = launchAgentPlist(kLaunchAgentLabel, *executable);
    std::string error;
    if (!files.createDirectoryAtPath(files.homeDirectory() + "/Library/LaunchAgents", true, &error) ||
        !files.writeAtomically(launchAgentPath(), text, &error)) {
      p.systemLog().log("[Tuckline] 写入登录项失败: " + error);
      return;
    }
    // An agent already loaded makes this fail unnoticed; the new file still
    // applies from the next login.
    runLaunchctl({"bootstrap", domainTarget(), launchAgentPath()});
  } else {
    // Unloaded before its file goes; neither failure is worth a word.
    runLaunchctl({"bootout", domainTarget() + "/" + kLaunchAgentLabel});
    files.removeItemAtPath(launchAgentPath(), nullptr);
  }
}

int32_t AppDelegate::runLaunchctl(const std::vector<std::string>& arguments) {
  Platform& p = platform();
  auto task = p.tasks().newTask();
  task->setExecutablePath("/bin/launchctl");
  task->setArguments(arguments);
  task->setStandardOutput(p.fileManager().fileHandleWithNullDevice());
  task->setStandardError(p.fileManager().fileHandleWithNullDevice());
  if (!task->launch(nullptr)) return -1;
  task->waitUntilExit();
  return task->terminationStatus();
}

}  // namespace tl
