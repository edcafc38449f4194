#include "app/roster_panel.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "consolidate/desktop/pool_roster.h"
#include "job/windows/remembered_job.h"
#include "spreadsheet/cell_address.h"
#include "spreadsheet/utf8_path.h"
#include "ui/main_window_controls.h"
#include "ui/pool_name_text.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace {

QString qt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr const char* kMakeRoster = "生成应报名单";
constexpr const char* kMakeRosterTip = "按汇表池中的文件生成应报名单（工作目录中的 应报名单.txt，每行一个单位），"
                                       "以后可以用记事本增删单位";
constexpr const char* kUnitCellPrompt = "单位名称所在的单元格，如 封面!b3（留空：按文件名对应单位）：";

}  // namespace

std::string unitCellText(const std::optional<UnitCell>& cell) {
    return cell ? cell->worksheet + "!" + cellName(cell->cell) : std::string();
}

std::optional<UnitCell> parseUnitCell(const std::string& text, const std::vector<std::string>& sheets) {
    const auto bang = text.rfind('!');
    if (bang == std::string::npos) return std::nullopt;
    const std::string sheet = text.substr(0, bang);
    std::string cell = text.substr(bang + 1);
    for (char& c : cell) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const auto address = parseCellAddress(cell);
    for (const std::string& name : sheets) {
        // Worksheet names match as the spreadsheet applications match them: case aside.
        if (address && QString::compare(qt(name), qt(sheet), Qt::CaseInsensitive) == 0) return UnitCell{name, *address};
    }
    return std::nullopt;
}

RosterPanel::RosterPanel(const MainWindowControls& controls, JobDefinition& job, const WorkspacePaths& paths,
                         DialogsPort& dialogs, std::function<std::unique_ptr<SpreadsheetHost>()> makeHost)
    : c_(controls), job_(job), paths_(paths), dialogs_(dialogs), makeHost_(std::move(makeHost)) {}

std::vector<std::string> RosterPanel::poolNames() const {
    std::vector<std::string> names;
    for (int row = 0; row < c_.poolList->count(); ++row) names.push_back(poolNameBytes(c_.poolList->item(row)->text()));
    return names;
}

void RosterPanel::refresh() {
    const std::vector<std::string> pool = poolNames();
    const auto host = makeHost_();
    const PoolRoster roster = poolRoster(paths_, pool, job_.unitCell, *host);
    const std::string how = job_.unitCell ? "按单元格 " + unitCellText(job_.unitCell) + " 中的单位名称对应" : "按文件名对应单位";
    c_.unitCellButton->setToolTip(qt("指定填报单位名称所在的单元格（随方案保存）。现在：" + how));
    if (!roster.kept) {
        c_.rosterButton->setText(qt(kMakeRoster));
        c_.rosterButton->setToolTip(qt(kMakeRosterTip));
        c_.rosterButton->setEnabled(!pool.empty());
        c_.rosterDetail->clear();
        c_.rosterDetail->setToolTip(QString());
        return;
    }
    c_.rosterButton->setEnabled(true);
    c_.rosterButton->setText(qt(roster.error.empty() ? roster.count : "应报名单有误"));
    c_.rosterButton->setToolTip(qt(utf8String(rosterFileOf(paths_)) + "\n" + how + "；单击重新核对"));
    std::vector<std::string> lines = roster.lines;
    if (!roster.error.empty()) lines = {roster.error};
    std::string detail, full;
    for (const std::string& line : lines) {
        detail += (detail.empty() ? "" : "；") + line;
        full += (full.empty() ? "" : "\n") + line;
    }
    const QString whole = qt(detail);
    const int room = c_.rosterDetail->contentsRect().width();
    c_.rosterDetail->setText(room > 0 ? c_.rosterDetail->fontMetrics().elidedText(whole, Qt::ElideRight, room) : whole);
    c_.rosterDetail->setToolTip(qt(full));
}

void RosterPanel::rosterClicked() {
    if (!std::filesystem::exists(rosterFileOf(paths_))) {
        const auto host = makeHost_();
        try {
            const size_t units = makeRosterFromPool(paths_, poolNames(), job_.unitCell, *host);
            dialogs_.message(units == 0 ? std::string("汇表池中的文件没有可用的单位名称，未生成应报名单。")
                                        : "已按汇表池生成应报名单（" + std::to_string(units) + " 个单位）：\r" +
                                              utf8String(rosterFileOf(paths_)) + "\r以后可以用记事本增删单位。");
        } catch (const WorkbookError& e) {
            dialogs_.message("应报名单未能生成：" + workbookErrorText(e));
        }
    }
    refresh();
}

void RosterPanel::unitCellClicked() {
    const std::vector<std::string>& sheets = job_.sheetNames;
    if (sheets.empty()) {
        dialogs_.message("请先用“环 境 设 定”读取汇总文件的工作表，再指定单位名称单元格。");
        return;
    }
    std::string typed = unitCellText(job_.unitCell);
    for (;;) {
        const auto answer = dialogs_.inputBox(kUnitCellPrompt, "单位名称单元格", typed);
        if (!answer) return;
        typed = *answer;
        const auto blank = typed.find_first_not_of(' ');
        if (blank == std::string::npos) {
            job_.unitCell.reset();
            break;
        }
        if (const auto cell = parseUnitCell(typed.substr(blank), sheets)) {
            job_.unitCell = cell;
            break;
        }
        dialogs_.message("“" + typed + "”不是汇总文件中的单元格，请写成 工作表名!单元格，如 " + sheets.front() + "!b3。");
    }
    rememberUnitCell(job_, paths_, dialogs_);
    refresh();
}

}  // namespace sbx
