#pragma once

#include "messagelist/data/MessageRecord.h"

#include <optional>

namespace larkspan {

class Form3;
struct MainWindowContext;

// What the main window hands the export window: copies of the ticked records in list
// order, and whether mails are exported as they appear in the browser.
struct ExportHandOff {
    RecordArray records;
    bool printAsHTML = true;
};

// Steps 1 to 5 and 7 of "3. Export Checked Emails To PDF": nothing for an empty list,
// the "Please select at least 1 email message." box when no row is ticked; otherwise
// the ticked rows' records (row k is Messages(k)) under the hourglass.
std::optional<ExportHandOff> CollectExportHandOff(MainWindowContext &ctx);

// Copies the records into SelectedRecords, opens the export window (its load step
// runs now) and hides the main window. Returns the window, which deletes itself
// when it is closed.
Form3 *ShowExportWindow(MainWindowContext &ctx, const ExportHandOff &handOff);

// The handler of "3. Export Checked Emails To PDF": both of the above. Returns the
// export window, or nullptr when none was opened.
Form3 *OpenExportWindow(MainWindowContext &ctx);

} // namespace larkspan
