#pragma once
// The roster above the status panel between runs: 已报 N / 应报 M with who is missing and who
// is unknown (a report of no unit on the roster, a unit with two reports), the one click that
// makes the roster from the pool the first time, and the choice of the unit cell, which is
// kept with the job in 方案.txt.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/job_definition.h"
#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"
#include "workspace/workspace_paths.h"

namespace sbx {

struct MainWindowControls;

class RosterPanel {
public:
    RosterPanel(const MainWindowControls& controls, JobDefinition& job, const WorkspacePaths& paths, DialogsPort& dialogs,
                std::function<std::unique_ptr<SpreadsheetHost>()> makeHost);

    // Matches the pool list against the roster again and shows it.
    void refresh();
    // The roster button: makes the roster from the pool while there is none.
    void rosterClicked();
    // The unit cell button: asks for the cell ("封面!b3"; empty: file names) and keeps it.
    void unitCellClicked();

private:
    std::vector<std::string> poolNames() const;

    const MainWindowControls& c_;
    JobDefinition& job_;
    WorkspacePaths paths_;
    DialogsPort& dialogs_;
    std::function<std::unique_ptr<SpreadsheetHost>()> makeHost_;
};

// "封面!b3" from a unit cell; "" for none.
std::string unitCellText(const std::optional<UnitCell>& cell);
// A typed unit cell: "封面!B3" or "封面!b3" on one of `sheets`; nothing when it is not one.
std::optional<UnitCell> parseUnitCell(const std::string& text, const std::vector<std::string>& sheets);

}  // namespace sbx
