#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "platform/sim/SimDesktop.h"

namespace tl::console {

// The scriptable console: one command a line, as a person at the simulated
// desktop would act. A thin layer over SimDesktop; it keeps no state of its
// own besides where it prints.
class Console {
 public:
  Console(sim::SimDesktop& desktop, std::ostream& out, std::ostream& err) : desktop_(desktop), out_(out), err_(err) {}

  // Runs one command. False for "quit"/"exit" or once the application has
  // ended; errors are reported on err and do not stop the console.
  bool execute(const std::string& line);
  static std::string help();

  // Lines that were refused or did not work, of all run so far.
  size_t failedLines() const { return failedLines_; }

 private:
  bool run(const std::vector<std::string>& words);
  // Reports the error of this line; a line counts as failed once.
  void fail(const std::string& message);
  // The item a person names, or an error listing the items there are.
  bool knownItem(const std::string& command, const std::string& name);

  sim::SimDesktop& desktop_;
  std::ostream& out_;
  std::ostream& err_;
  size_t failedLines_ = 0;
  bool lineFailed_ = false;
};

std::vector<std::string> splitWords(const std::string& line);

}  // namespace tl::console
