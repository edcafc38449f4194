// shubuxing-screenshot: renders the main window (after start-up on a small pool, and in the
// middle of a function-mode run), the splash window and the check window before a run to PNG
// files, for the documentation.
// Run on any platform plugin, e.g. QT_QPA_PLATFORM=offscreen.
//
// usage: shubuxing-screenshot OUTPUT_DIR
#include <filesystem>
#include <fstream>
#include <iostream>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/main_window.h"
#include "consolidate/windows/check_window.h"
#include "consolidate/windows/contributions_window.h"
#include "job/job_definition.h"
#include "spreadsheet/utf8_path.h"
#include "ui/about_window.h"
#include "ui/file_intake_window.h"
#include "ui/help_window.h"
#include "ui/splash_window.h"

namespace {

// Start-up asks; the pictures want the pool kept: OK to everything.
class AgreeingDialogs : public sbx::DialogsPort {
public:
    void message(const std::string&) override {}
    bool askYesNo(const std::string&) override { return true; }
    bool askOkCancel(const std::string&) override { return true; }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string& text) override {
        return text;
    }
    std::optional<std::filesystem::path> saveFile(const sbx::SaveFileRequest&) override { return std::nullopt; }
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
    if (argc != 2) {
        std::cerr << "usage: shubuxing-screenshot OUTPUT_DIR\n";
        return 2;
    }
    const std::filesystem::path out = argv[1];
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

    // A function-mode run half way: two files selected, the panel filled in.
    auto* list1 = control<QListWidget>(window, "List1");
    list1->item(0)->setSelected(true);
    list1->item(2)->setSelected(true);
    control<QLabel>(window, "Label13")->setText(QStringLiteral("2"));
    control<QListWidget>(window, "List2")->addItem(list1->item(0)->text());
    control<QLabel>(window, "Label10")->setText(sbx::countCaption(1));
    const std::pair<const char*, const char*> fields[] = {
        {"Text2", "资产负债表"}, {"Text3", "三分公司.xls"}, {"Text1", "c12"},        {"Text4", "c7"},
        {"Text5", "||||||||||"}, {"Text7", "||||||"},      {"Text10", "|||||"}};
    for (const auto& [name, value] : fields) control<QLineEdit>(window, name)->setText(QString::fromUtf8(value));
    for (const char* name : {"Label11", "Label2", "Label6", "Label7", "Label15", "Label16", "Label17", "Label18",
                             "Label19", "Label20", "Text1", "Text2", "Text3", "Text4", "Text5", "Text7", "Text10"}) {
        control<QWidget>(window, name)->show();
    }
    control<QLabel>(window, "Label16")->setText(QStringLiteral("50%"));
    control<QLabel>(window, "Label18")->setText(QStringLiteral("35%"));
    control<QLabel>(window, "Label20")->setText(QStringLiteral("25%"));
    control<QLabel>(window, "Image1")->hide();
    auto* progress = control<QPushButton>(window, "Command7");
    progress->setText(QString::fromUtf8("已完成 50%  用时 3 秒"));
    progress->show();
    window.setHint("功能型,克服了表格中有单元格保护而不能正确汇总的问题!");
    ok &= save(window, out / "main_window_run.png");

    // File intake on a folder of sample workbooks, two of them picked; help; about.
    const std::filesystem::path samples = pool / sbx::utf8Path("各分公司报表");
    std::filesystem::create_directories(samples / sbx::utf8Path("上半年"));
    for (const char* name : {"五分公司.xls", "六分公司.xls", "七分公司.xls", "说明.txt"}) {
        std::ofstream(samples / sbx::utf8Path(name)) << "sample";
    }
    QDir::setCurrent(QString::fromStdString(sbx::utf8String(samples)));
    const sbx::PoolWindowContext poolWindows{&window, list1, control<QLabel>(window, "Label13"),
                                             control<QPushButton>(window, "Command2"), dialogs,
                                             sbx::WorkspacePaths(pool), sbx::makeNativeHost, {}, {}};
    sbx::FileIntakeWindow* intake = sbx::openFileIntakeWindow(poolWindows);
    auto* file1 = control<QListWidget>(*intake, "File1");
    file1->item(0)->setSelected(true);
    file1->item(1)->setSelected(true);
    ok &= save(*intake, out / "fldfrm.png");
    intake->close();
    sbx::HelpWindow* help = sbx::openHelpWindow(&window);
    ok &= save(*help, out / "help.png");
    help->close();
    sbx::AboutWindow* about = sbx::openAboutWindow(&window, dialogs);
    ok &= save(*about, out / "about.png");
    about->close();
    QDir::setCurrent(QDir::tempPath());

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
        sbx::CheckWindow check(report, &window);
        check.show();
        ok &= save(check, out / "check_window.png");
        check.close();
    }

    // Where a summary cell's total came from, as the run record tells it.
    {
        const std::filesystem::path summary = pool / "total.xls";
        std::ofstream(pool / "total.xls.run.json") << R"({"format": "shubuxing run record", "version": 1,
  "sources": [{"file": "一分公司.xls"}, {"file": "二分公司.xls"}, {"file": "三分公司.xls"}, {"file": "四分公司.xls"}],
  "cells": [{"worksheet": "资产负债表", "cell": "c12", "total": 5230.5,
             "from": [[0, 1200], [1, 2030.5], [2, "2000"], [3, "见附表"]]}]})";
        sbx::ContributionsWindow contributions(summary, QStringLiteral("资产负债表"), {12, 3}, &window);
        contributions.show();
        ok &= save(contributions, out / "contributions_window.png");
        contributions.close();
    }

    std::filesystem::remove_all(pool);
    return ok ? 0 : 1;
}
