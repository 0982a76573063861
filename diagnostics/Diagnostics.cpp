#include "diagnostics/Diagnostics.h"

#include "app/NumberText.h"
#include "platform/Platform.h"

namespace tl {

namespace {
std::string itemLine(const std::string& name, const std::shared_ptr<StatusItem>& item) {
  std::string line = "  " + name;
  if (!item) return line + ": 未创建";
  auto button = item->button();
  if (!button || !button->window()) return line + ": button.window 为空（未挂载到菜单栏）";
  auto window = button->window();
  Rect frame = window->frame();
  auto screen = window->screen();
  double screenWidth = screen ? screen->frame().width : 0;
  // Measured against the screen's width, not its right edge, whatever its origin.
  bool onScreen = CGRectGetMinX(frame) >= 0 && CGRectGetMaxX(frame) <= screenWidth;
  auto imageButton = item->button();
  line += ": ";
  line += imageButton && imageButton->image() ? "有图标" : "【无图标→看不见】";
  line += " length=" + decimalFractionText(item->length());
  line += " x=" + wholeNumberText(CGRectGetMinX(frame));
  line += " y=" + wholeNumberText(CGRectGetMinY(frame));
  line += " w=" + wholeNumberText(CGRectGetWidth(frame));
  line += " h=" + wholeNumberText(CGRectGetHeight(frame));
  line += std::string(" 可见=") + (window->isVisible() ? "true" : "false");
  line += std::string(" 在屏内=") + (onScreen ? "true" : "false");
  auto screenNow = window->screen();
  line += " 屏幕宽=" + (screenNow ? wholeNumberText(screenNow->frame().width) : std::string("-1"));
  return line;
}
}  // namespace

std::string diagnosticsRecord(const std::string& context, const DiagnosticItems& items) {
  Platform& p = platform();
  auto formatter = p.clock().newDateFormatter();
  formatter->setDateFormat("yyyy-MM-dd HH:mm:ss");
  std::string text = "[" + formatter->stringFromDate(p.clock().now()) + "] " + context + "\n";
  text += "  菜单栏高度=" + decimalFractionText(p.systemStatusBar().thickness()) + "\n";
  for (const auto& [name, item] : items) text += itemLine(name, item) + "\n";
  text += "  进程 PID=" + std::to_string(p.processInfo().processIdentifier()) + "\n";
  return text;
}

namespace {
bool append(FileManager& files, const std::string& path, const std::string& record) {
  auto handle = files.fileHandleForWritingAtPath(path);
  if (!handle) return false;
  handle->seekToEndOfFile();
  handle->writeData(record);
  handle->closeAndReturnError(nullptr);
  return true;
}
}  // namespace

void logDiagnostics(const std::string& context, const DiagnosticItems& items) {
  FileManager& files = platform().fileManager();
  std::string path = files.homeDirectory() + "/Library/Logs/Tuckline.log";
  std::string record = diagnosticsRecord(context, items);
  if (append(files, path, record)) return;
  // Only a log that does not exist yet is created whole. One that exists but
  // refuses appending keeps its content: the record is dropped instead.
  if (files.fileExistsAtPath(path)) return;
  // Another copy giving way at the same moment may create the log between
  // the look and the write: the new file never replaces one that is there
  // by then, and the record is appended to that one instead.
  if (!files.createAtomically(path, record, nullptr)) append(files, path, record);
}

}  // namespace tl
