#pragma once
// A main window over a pool copied from tests/data/fixtures/consolidate_pool (three branch
// workbooks with two worksheets each), a job over b4:e9 of both worksheets, and helpers to
// start a run through modfrm and to check the summary workbook against expected_totals.tsv.
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include <QApplication>
#include <QtTest>

#include "consolidate/run/run_messages.h"
#include "consolidate/desktop/windows/mode_window.h"
#include "tests/support/consolidate_pool_fixture.h"
#include "tests/support/pool_runs.h"
#include "tests/ui/main_window_fixture.h"
#include "workspace/startup.h"

namespace sbx::testing {

inline const std::filesystem::path kPoolFixture = kConsolidatePool;
inline const std::string kIncome = "收入明细";
inline const std::string kCost = "成本费用";

inline QString u(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Differences between the summary workbook and the expected totals, one line each; empty
// when every cell (but `skipCell`) holds its total.
inline std::string totalsMismatch(const WorkspacePaths& paths, const std::string& mode, const std::string& sheet,
                                  const std::string& skipCell = "") {
    const auto expected = expectedTotals(mode, sheet);
    if (expected.size() != 24) return "expected_totals.tsv has no 24 cells for " + mode + " " + sheet;
    auto host = makeNativeHost();
    const Worksheet& s = host->open(paths.summaryWorkbook()).worksheet(sheet);
    std::string wrong;
    for (const auto& [cell, want] : expected) {
        if (cell == skipCell) continue;
        const CellValue got = s.cell(std::stoi(cell.substr(1)), cell[0] - 'a' + 1);
        const bool ok = want == 0 ? got.isEmpty() || got == CellValue::text("")
                                  : got.kind() == CellKind::Number && std::abs(got.numberValue() - want) < 1e-6;
        if (!ok) wrong += sheet + "!" + cell + " holds " + describe(got) + "\n";
    }
    return wrong;
}

struct RunFixture : MainWindowFixture {
    std::vector<std::string> poolNames{"branch_1.xls", "branch_2.xls", "branch_3.xls"};

    // Start-up over the fixture pool; the summary workbook then comes from `summaryFrom`.
    void startOverFixturePool(const std::string& summaryFrom = "branch_3.xls") {
        paths = freshWorkspace();
        std::filesystem::create_directories(paths.poolDirectory());
        for (const auto& name : poolNames) std::filesystem::copy_file(kPoolFixture / name, paths.poolFile(name));
        dialogs.expectOkCancel(startup_text::workOnPoolQuestion(paths), true);
        make();
        window->startUp(std::chrono::milliseconds(0));
        std::filesystem::copy_file(kPoolFixture / summaryFrom, paths.summaryWorkbook(),
                                   std::filesystem::copy_options::overwrite_existing);
        window->show();
        QApplication::setActiveWindow(window.get());
        // A bare X server (no window manager) activates no window; keys go to the window there.
        const bool bareX = qEnvironmentVariableIsSet("SBX_REAL_X11");
        if (!QTest::qWaitForWindowActive(window.get(), bareX ? 500 : 5000) && !bareX) {
            throw std::logic_error("the main window did not become active");
        }
    }

    // A job over b4:e9 of both worksheets (or the given ranges), every pool entry selected.
    void readyJob(std::vector<std::array<std::string, 3>> ranges = {{kIncome, "b4", "e9"}, {kCost, "b4", "e9"}}) {
        JobDefinition& job = window->job();
        job.rangeTable.clear();
        for (const auto& [sheet, first, last] : ranges) addJobRange(job, sheet, first, last);
        job.jobReady = true;
        list1()->selectAll();
    }

    ModeWindow* modeWindow() const {
        for (auto* open : window->findChildren<ModeWindow*>(QStringLiteral("modfrm"))) {
            if (open->isVisible()) return open;
        }
        return nullptr;
    }
    // Command3, and modfrm opens.
    ModeWindow* openModes() {
        button("Command3")->click();
        return modeWindow();
    }
    void clickMode(const char* command) {
        ModeWindow* modes = openModes();
        if (!modes) throw std::logic_error("modfrm did not open");
        modes->findChild<QPushButton*>(QString::fromLatin1(command))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void expectFunctionConfirmation(bool yes) { dialogs.expectYesNo(run_text::functionConfirmQuestion(), yes); }
    // The control that has the focus in the main window, or gets it when the window is active.
    bool focused(const char* name) const { return window->focusWidget() == button(name); }
    bool panelHidden() const {
        for (const char* name : {"Label2", "Label6", "Label7", "Label11", "Label15", "Label16", "Label17", "Label18",
                                 "Label19", "Label20", "Label21", "Label22", "Label23", "Text1", "Text2", "Text3",
                                 "Text4", "Text5", "Text6", "Text7", "Text8", "Text9", "Text10"}) {
            if (!control(name)->isHidden()) return false;
        }
        return control("Image1")->isVisible();
    }
    QStringList runList() const {
        QStringList names;
        for (int row = 0; row < list2()->count(); ++row) names << list2()->item(row)->text();
        return names;
    }
};

}  // namespace sbx::testing
