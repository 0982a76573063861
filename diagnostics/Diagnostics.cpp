#include "diagnostics/Diagnostics.h"

#include "app/NumberText.h"
#include "platform/Platform.h"

namespace tl {

namespace {
// Appends to the record in place: a record is written at every change, and
// building it from temporaries cost more than writing it.
void appendItemLine(std::string& text, const std::string& name, const std::shared_ptr<StatusItem>& item) {
  auto field = [&text](const char* label, const std::string& value) {
    text += label;
    text += value;
  };
  text += "  ";
  text += name;
  if (!item) {
    text += ": 未创建\n";
    return;
  }
  auto button = item->button();
  if (!button || !button->window()) {
    text += ": button.window 为空（未挂载到菜单栏）\n";
    return;
  }
  auto window = button->window();
  Rect frame = window->frame();
  auto screen = window->screen();
  double screenWidth = screen ? screen->frame().width : 0;
  // Measured against the screen's width, not its right edge, whatever its origin.
  bool onScreen = CGRectGetMinX(frame) >= 0 && CGRectGetMaxX(frame) <= screenWidth;
  auto imageButton = item->button();
  text += ": ";
  text += imageButton && imageButton->image() ? "有图标" : "【无图标→看不见】";
  field(" length=", decimalFractionText(item->length()));
  field(" x=", wholeNumberText(CGRectGetMinX(frame)));
  field(" y=", wholeNumberText(CGRectGetMinY(frame)));
  field(" w=", wholeNumberText(CGRectGetWidth(frame)));
  field(" h=", wholeNumberText(CGRectGetHeight(frame)));
  text += window->isVisible() ? " 可见=true" : " 可见=false";
  text += onScreen ? " 在屏内=true" : " 在屏内=false";
  auto screenNow = window->screen();
  field(" 屏幕宽=", screenNow ? wholeNumberText(screenNow->frame().width) : std::string("-1"));
  text += "\n";
}
}  // namespace

std::string diagnosticsRecord(const std::string& context, const DiagnosticItems& items) {
  Platform& p = platform();
  auto formatter = p.clock().newDateFormatter();
  formatter->setDateFormat("yyyy-MM-dd HH:mm:ss");
  std::string text;
  text.reserve(160 + context.size() + 200 * items.size());
  text += "[";
  text += formatter->stringFromDate(p.clock().now());
  text += "] ";
  text += context;
  text += "\n  菜单栏高度=";
  text += decimalFractionText(p.systemStatusBar().thickness());
  text += "\n";
  for (const auto& [name, item] : items) appendItemLine(text, name, item);
  text += "  进程 PID=";
  text += std::to_string(p.processInfo().processIdentifier());
  text += "\n";
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

void writeDiagnosticsRecord(FileManager& files, const std::string& path, const std::string& record) {
  if (append(files, path, record)) return;
  // Only a log that is not there is created whole, and never over one that
  // another copy giving way at the same moment created in the meantime.
  if (!files.fileExistsAtPath(path) && files.createAtomically(path, record, nullptr)) return;
  // Either that copy created it between the failed open and now (after the
  // look, or before it), and the record goes after its one; or the log is
  // there and refuses appending, and keeps its content: the record is
  // dropped.
  append(files, path, record);
}

void logDiagnostics(const std::string& context, const DiagnosticItems& items) {
  FileManager& files = platform().fileManager();
  writeDiagnosticsRecord(files, files.homeDirectory() + "/Library/Logs/Tuckline.log", diagnosticsRecord(context, items));
}

}  // namespace tl
