#pragma once
#include <string>
#include <vector>

#include "platform/sim/SimDesktop.h"

namespace tl::sim {

// The command-line options that set up the simulated desktop, the same in
// every front end. Each value is checked here: a front end that gets one
// that makes no sense says so in one line and starts nothing.
struct DesktopOptions {
  SimDesktop::Config config;
  bool startGiven = false;  // --start: only virtual time has a start
  bool notch = false;       // --notch without a width: the 14-inch one, scaled
};

enum class OptionParse { NotMine, Taken, Bad };

// Looks at args[i] and, for an option with a value, the word after it
// (then i is left on that word). On Bad, error is the line to print.
OptionParse parseDesktopOption(const std::vector<std::string>& args, size_t& i, DesktopOptions& options,
                               std::string& error);

// Once every option is read: what depends on several of them (the notch
// on the screen it is given). False, with the line to print, when they do
// not fit together.
bool finishDesktopOptions(DesktopOptions& options, std::string& error);

// The lines of a usage text that describe these options; without virtual
// time (the browser desktop) --start is not one of them.
std::string desktopOptionsUsage(bool virtualTime);

// The desktop options' names, for a refusal of a word that is none of a
// program's options.
std::vector<std::string> desktopOptionNames(bool virtualTime);

// The value of args[i], an option written as `form` ("--home DIR"): the
// next word, which must be there and must not be another option. False,
// with the line to print, when it is missing.
bool optionValue(const std::vector<std::string>& args, size_t& i, const std::string& form, std::string& value,
                 std::string& error);

// The line refusing a word that is no option of the program.
std::string unknownOptionText(const std::string& program, const std::string& word,
                              const std::vector<std::string>& names);

}  // namespace tl::sim
