#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "platform/StatusBar.h"

namespace tl {

using DiagnosticItems = std::vector<std::pair<std::string, std::shared_ptr<StatusItem>>>;

// Appends one record describing the items to ~/Library/Logs/Tuckline.log.
// Silent in every failure: a lost record never interrupts the user.
void logDiagnostics(const std::string& context, const DiagnosticItems& items);

// Appends the record to the log at path, creating the log with it when
// there is none. Copies that write their first record at once each keep it.
void writeDiagnosticsRecord(FileManager& files, const std::string& path, const std::string& record);

// The record text itself, without writing it.
std::string diagnosticsRecord(const std::string& context, const DiagnosticItems& items);

}  // namespace tl
