#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/StatusBar.h"

namespace tl {

using DiagnosticItems = std::vector<std::pair<std::string, std::shared_ptr<StatusItem>>>;

// Appends one record describing the items to ~/Library/Logs/Tuckline.log.
// Silent in every failure: a lost record never interrupts the user.
void logDiagnostics(const std::string& context, const DiagnosticItems& items);

// The record text itself, without writing it.
std::string diagnosticsRecord(const std::string& context, const DiagnosticItems& items);

}  // namespace tl
