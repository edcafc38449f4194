// shubuxing-screenshot: renders the main window (after start-up on a small pool, and in the
// middle of a function-mode run), the splash window, the workbook viewer (as the range entry
// opens it, and as the result of a run) and the check window before a run (and with labels
// aligned) to PNG files, for
// the documentation.
// Run on any platform plugin, e.g. QT_QPA_PLATFORM=offscreen.
//
// usage: shubuxing-screenshot OUTPUT_DIR
#include <filesystem>
#include <fstream>
#include <iostream>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTableView>
#include <QItemSelectionModel>
#include <QUrl>

#include "app/main_window.h"
#include "consolidate/check/roster.h"
#include "consolidate/run/run_messages.h"
#include "consolidate/status/status_texts.h"
#include "consolidate/desktop/windows/qt_status_view.h"
#include "consolidate/desktop/windows/check_window.h"
#include "consolidate/run/file_digest.h"
#include "consolidate/desktop/windows/contributions_window.h"
#include "job/job_definition.h"
#include "spreadsheet/utf8_path.h"
#include "ui/about_window.h"
#include "ui/file_intake_window.h"
#include "ui/help_window.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translations.h"
#include "workspace/pool_file_ops.h"
#include "ui/splash_window.h"
#include "ui/workbook_viewer.h"

namespace {

// Start-up asks; the pictures want the pool kept: OK to everything.
class AgreeingDialogs : public sbx::DialogsPort {
public:
    void message(const std::string&) override {}
    bool askYesNo(const std::string&, sbx::Risk) override { return true; }
    bool askOkCancel(const std::string&, sbx::Risk) override { return true; }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string& text) override {
        return text;
    }
    std::optional<std::filesystem::path> saveFile(const sbx::SaveFileRequest&) override { return std::nullopt; }
    sbx::ForAllAnswer askYesNoForAll(const std::string&) override { return sbx::ForAllAnswer::YesToAll; }
    std::optional<std::filesystem::path> openFile(const sbx::OpenFileRequest&) override { return std::nullopt; }
};

bool save(QWidget& widget, const std::filesystem::path& file) {
    const bool saved = widget.grab().save(QString::fromStdString(sbx::utf8String(file)), "PNG");
    std::cout << (saved ? "wrote " : "could not write ") << sbx::utf8String(file) << "\n";
    return saved;
}

template <typename Widget>
Widget* control(QWidget& window, const char* name) {
    return window.findChild<Widget*>(QString::fromLatin1(name));
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    sbx::installQtChineseTranslations(app);
    if (argc != 2) {
        std::cerr << "usage: shubuxing-screenshot OUTPUT_DIR\n";
        return 2;
    }
    // Absolute: the windows shown below change the current folder (the file dialogs).
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(out);

    const std::filesystem::path pool = std::filesystem::temp_directory_path() / "sbx_screenshot_pool";
    std::filesystem::remove_all(pool);
    std::filesystem::create_directories(pool);
    for (const char* name : {"一分公司.xls", "二分公司.xls", "三分公司.xls", "四分公司.xls"}) {
        std::ofstream(pool / sbx::utf8Path(name)) << "sample";
    }

    bool ok = true;
    {
        sbx::JobDefinition job;
        sbx::SplashWindow splash(job.splashDismissed);
        splash.show();
        ok &= save(splash, out / "splash.png");
    }

    AgreeingDialogs dialogs;
    sbx::MainWindow window(sbx::MainWindowServices{dialogs, sbx::WorkspacePaths(pool)});
    window.startUp(std::chrono::milliseconds(0));
    window.show();
    ok &= save(window, out / "main_window.png");
    // With a roster of five units kept in the working folder, a fifth report taken in under
    // another name: who has reported, who not, and what the roster does not know.
    {
        const std::filesystem::path roster = pool / sbx::utf8Path(sbx::kRosterFileName);
        std::ofstream(roster) << "一分公司\n二分公司\n三分公司\n四分公司\n五分公司\n六分公司\n";
        std::ofstream(pool / sbx::utf8Path("总公司汇总.xls")) << "sample";
        window.controls().poolList->addItem(QStringLiteral("总公司汇总.xls"));
        window.refreshCounts();
        window.roster().refresh();
        ok &= save(window, out / "main_window_roster.png");
        delete window.controls().poolList->takeItem(window.controls().poolList->count() - 1);
        std::filesystem::remove(pool / sbx::utf8Path("总公司汇总.xls"));
        std::filesystem::remove(roster);
        window.refreshCounts();
        window.roster().refresh();
    }
    // Maximised on a 1366x768 screen: lists and frames follow the window's edges, buttons
    // keep about their size.
    window.resize(1366, 698);
    ok &= save(window, out / "main_window_enlarged.png");
    window.resize(window.minimumSize());

    // Runs half way, the panel filled in through the status view as a run fills it: two
    // files selected, three worksheets.
    QListWidget* poolList = window.controls().poolList;
    poolList->item(0)->setSelected(true);
    poolList->item(2)->setSelected(true);
    window.controls().selectedCount->setText(QStringLiteral("2"));
    {
        sbx::QtStatusView status(window.controls());
        window.setHint(sbx::run_text::kHintEfficiency);
        status.openEfficiencyPanel();
        status.showConsolidating("资产负债表", "三分公司.xls");
        status.showConsolidationProgress(1, 2);
        status.setProgressCaption(sbx::progressCaption(1, 3, "0:00:42"));
        status.showRunTime({1, 2, 2, 3, 47, 50});
        status.flush();
        ok &= save(window, out / "main_window_run.png");
        status.closeEfficiencyPanel();
    }
    {
        sbx::QtStatusView status(window.controls());
        window.setHint(sbx::run_text::kHintFunction);
        status.openFunctionPanel();
        status.showReading("资产负债表", "三分公司.xls");
        status.showOverallReadProgress(250, 480);
        status.showFileReadProgress(10, 240);
        status.showReadCell(3, 12, false);
        status.showWriteProgress(0, 240);
        status.showWrittenCell(3, 7, false);
        status.setProgressCaption(sbx::progressCaption(1, 3, "0:01:12"));
        status.showRunTime({1, 2, 2, 3, 80, 84});
        status.flush();
        ok &= save(window, out / "run_function_progress.png");
        status.closeFunctionPanel();
    }

    // File intake on a folder of sample workbooks, two of them picked; help; about.
    const std::filesystem::path samples = pool / sbx::utf8Path("各分公司报表");
    std::filesystem::create_directories(samples / sbx::utf8Path("上半年"));
    for (const char* name : {"五分公司.xls", "六分公司.xls", "七分公司.xls", "说明.txt", "八分公司2026年11月资产负债表（修订后）.xlsx"}) {
        std::ofstream(samples / sbx::utf8Path(name)) << "sample";
    }
    QDir::setCurrent(QString::fromStdString(sbx::utf8String(samples)));
    const sbx::PoolWindowContext poolWindows{&window, poolList, window.controls().selectedCount,
                                             window.controls().jobSetupButton, dialogs,
                                             sbx::WorkspacePaths(pool), sbx::makeNativeHost, {}, {}, {}};
    sbx::FileIntakeWindow* intake = sbx::openFileIntakeWindow(poolWindows);
    auto* file1 = control<QListWidget>(*intake, "File1");
    file1->item(0)->setSelected(true);
    file1->item(1)->setSelected(true);
    ok &= save(*intake, out / "fldfrm.png");
    intake->close();
    sbx::HelpWindow* help = sbx::openHelpWindow(&window, sbx::WorkspacePaths(pool));
    ok &= save(*help, out / "help.png");
    help->close();
    sbx::AboutWindow* about = sbx::openAboutWindow(&window, dialogs);
    ok &= save(*about, out / "about.png");
    about->close();

    // A question that deletes, with the safe answer as its default button, and the save
    // dialog in Qt's Chinese: each pictured as it opens, then dismissed.
    sbx::QtDialogs boxes(&window);
    const auto pictureNextModal = [&ok, &out](const char* file) {
        QTimer::singleShot(300, [&ok, &out, file] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr) {
                ok = false;
                return;
            }
            ok &= save(*modal, out / file);
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        });
    };
    pictureNextModal("question_delete.png");
    boxes.askOkCancel(sbx::pool_ops_text::deleteQuestion("二分公司.xls"), sbx::Risk::Destructive);
    pictureNextModal("save_dialog.png");
    boxes.saveFile(sbx::SaveFileRequest{"导出汇总EXCELL表格...", "*.xls", "xls", samples});
    QDir::setCurrent(QDir::tempPath());

    // The viewer on the example report: from the range entry with b2:c4 selected, and as the
    // result of a run that wrote b2:c4 of 资产负债表 but for c3, which refused its total.
    {
        auto host = sbx::makeNativeHost();
        sbx::Workbook& book = host->open(std::filesystem::path(SBX_EXAMPLES) / "sample_report.xls");
        sbx::ViewerExtras picking;
        picking.takesRangeOf = [](const std::string&) { return true; };
        picking.takeRange = [](const std::string&, const sbx::CellArea&) {};
        sbx::WorkbookViewer viewer(book, picking);
        viewer.setAttribute(Qt::WA_DeleteOnClose, false);
        viewer.show();
        QTableView& table = viewer.table();
        table.selectionModel()->select(QItemSelection(table.model()->index(1, 1), table.model()->index(3, 2)),
                                       QItemSelectionModel::ClearAndSelect);
        ok &= save(viewer, out / "viewer.png");

        sbx::ViewerExtras result;
        result.marked = [](const std::string& sheet, int row, int column) {
            return sheet == "资产负债表" && row >= 2 && row <= 4 && column >= 2 && column <= 3;
        };
        // One cell refused its total (a locked cell in function mode): it keeps the template's value.
        result.kept = [](const std::string& sheet, int row, int column) {
            return sheet == "资产负债表" && row == 3 && column == 3;
        };
        result.startSheet = "资产负债表";
        result.startCell = {2, 2};
        result.openFolder = [](const QUrl&) {};
        sbx::WorkbookViewer resultView(book, result);
        resultView.setAttribute(Qt::WA_DeleteOnClose, false);
        resultView.show();
        ok &= save(resultView, out / "result_view.png");
        host->quit();
    }
    // Amounts in money, percentage, date and red-negative formats.
    {
        auto host = sbx::makeNativeHost();
        sbx::WorkbookViewer money(host->open(SBX_MONEY_REPORT));
        money.setAttribute(Qt::WA_DeleteOnClose, false);
        money.show();
        ok &= save(money, out / "viewer_money.png");
        host->quit();
    }

    // The check before a run that found a moved row, a report sent twice, a label among the
    // amounts and a file with a password.
    {
        sbx::CheckReport report;
        const auto source = [&](const char* name, std::vector<sbx::Finding> findings) {
            report.sources.push_back({pool / sbx::utf8Path(name), 27136, "", std::move(findings)});
        };
        sbx::Finding layout{sbx::FindingKind::Layout, "资产负债表", {9, 1}, "“应收账款”", "“预付账款”"};
        sbx::Finding twice{sbx::FindingKind::Duplicate};
        twice.duplicateOf = 0;
        twice.sameBytes = true;
        sbx::Finding label{sbx::FindingKind::NotANumber, "资产负债表", {12, 3}, "", "“见附表”"};
        label.count = 2;
        sbx::Finding locked{sbx::FindingKind::Unreadable};
        locked.reason = "the workbook is encrypted with a password (a password to open)";
        locked.error = sbx::WorkbookErrorKind::Encrypted;
        source("一分公司.xls", {});
        source("二分公司.xls", {layout});
        source("三分公司.xls", {twice});
        source("四分公司.xls", {label});
        source("五分公司.xls", {locked});
        source("六分公司.xls", {});
        // 按标签对齐汇总 ticked: the moved row is found by its label; another report holds a label twice.
        sbx::CheckReport aligned = report;
        aligned.sources[1].findings.clear();
        sbx::Finding twiceLabel{sbx::FindingKind::UnmatchedLabel, "资产负债表", {14, 1}, "", "“存货”"};
        twiceLabel.count = 2;
        twiceLabel.cells = {{14, 1}, {15, 1}};
        twiceLabel.labelTimes = 2;
        twiceLabel.templateTimes = 1;
        aligned.sources[5].findings = {twiceLabel};
        const sbx::Recheck recheck = [&](bool on) -> const sbx::CheckReport& { return on ? aligned : report; };
        sbx::CheckWindow check(report, &window, recheck);
        check.show();
        ok &= save(check, out / "check_window.png");
        if (auto* box = check.findChild<QCheckBox*>(QStringLiteral("alignLabelsBox"))) box->setChecked(true);
        ok &= save(check, out / "check_window_aligned.png");
        check.close();
    }

    // Where a summary cell's total came from, as the run record tells it.
    {
        const std::filesystem::path summary = pool / "total.xls";
        if (!std::filesystem::exists(summary)) std::ofstream(summary, std::ios::binary) << "a summary";
        std::ofstream(pool / "total.xls.run.json") << R"({"format": "shubuxing run record", "version": 2,
  "summary sha256": ")" << sbx::sha256OfFile(summary) << R"(",
  "sources": [{"file": "/home/kx/一分公司.xls"}, {"file": "/home/kx/二分公司.xls"}, {"file": "/home/kx/三分公司.xls"}, {"file": "/home/kx/四分公司.xls"}],
  "cells": [{"worksheet": "资产负债表", "cell": "c12", "total": 1016452.35,
             "from": [[0, 381200], [1, 632030.5], [2, 3221.85], [3, "见附表"]]}]})";
        sbx::ContributionsWindow contributions(summary, QStringLiteral("资产负债表"), {12, 3}, &window, "#,##0.00");
        contributions.show();
        ok &= save(contributions, out / "contributions_window.png");
        contributions.close();
    }

    // An empty pool: the list says what it takes.
    poolList->clear();
    window.refreshCounts();
    window.roster().refresh();
    ok &= save(window, out / "main_window_empty.png");

    std::filesystem::remove_all(pool);
    return ok ? 0 : 1;
}
