#pragma once
// Recording stand-ins for the outside of a consolidation run: the status view, the dialogs,
// the post-run hand-over and a clock whose times the test sets.
#include <deque>
#include <string>
#include <vector>

#include "consolidate/desktop/post_run_steps.h"
#include "consolidate/status/run_clock.h"
#include "consolidate/status/status_texts.h"
#include "consolidate/status/status_view.h"
#include "workspace/dialogs_port.h"

namespace sbx::test {

// Keeps the latest text of every field (as a window would show it after repainting) and a
// log of the panel-level events in order.
class RecordingStatusView final : public StatusView {
public:
    std::vector<std::string> hints;
    std::vector<std::string> events;  // panel opens/closes, focus, buttons
    std::vector<std::string> captions;
    std::vector<std::string> runList;
    std::string text1, text2, text3, text4, text5, text6, text7, text8, text9, text10;
    std::string label16, label18, label20;
    int label4 = -1, label10 = -1;
    long long readProgressCalls = 0;
    std::vector<RunTimeProgress> runTimes;
    // Asked between files; the run is cancelled from the `cancelAt`-th question on (0: never).
    int cancelAt = 0;
    int cancelQuestions = 0;

    void setHint(const std::string& text) override { hints.push_back(text); }
    void openEfficiencyPanel() override {
        events.push_back("openEfficiencyPanel");
        text6 = text8 = text9 = "";
        label20 = "0%";
    }
    void closeEfficiencyPanel() override { events.push_back("closeEfficiencyPanel"); }
    void showConsolidating(const std::string& worksheet, const std::string& file) override {
        text8 = worksheet;
        text9 = file;
    }
    void showConsolidationProgress(long long done, long long total) override {
        text6 = progressBar(done, total);
        label20 = percentText(done, total);
    }
    void openFunctionPanel() override {
        events.push_back("openFunctionPanel");
        text1 = text2 = text3 = text4 = text5 = text7 = text10 = "";
        label16 = label18 = label20 = "0%";
    }
    void closeFunctionPanel() override { events.push_back("closeFunctionPanel"); }
    void showReading(const std::string& worksheet, const std::string& file) override {
        text2 = worksheet;
        text3 = file;
    }
    void showOverallReadProgress(long long done, long long total) override {
        ++readProgressCalls;
        text5 = paddedProgressBar(done, total);
        label16 = percentText(done, total);
    }
    void showFileReadProgress(long long done, long long total) override {
        text7 = progressBar(done, total);
        label18 = percentText(done, total);
    }
    void showReadCell(int column, int row, bool last) override { text1 = cellText(column, row, last); }
    void resetWriteProgress() override {
        text10 = "";
        label20 = "0%";
    }
    void showWriteProgress(long long done, long long total) override {
        text10 = progressBar(done, total);
        label20 = percentText(done, total);
    }
    void showWrittenCell(int column, int row, bool last) override { text4 = cellText(column, row, last); }
    void showRunTime(const RunTimeProgress& progress) override { runTimes.push_back(progress); }
    bool cancelRequested() override { return cancelAt > 0 && ++cancelQuestions >= cancelAt; }
    void setProgressCaption(const std::string& text) override { captions.push_back(text); }
    void hideStatusPanel() override { events.push_back("hideStatusPanel"); }
    void addToRunList(const std::string& name) override { runList.push_back(name); }
    void showListCounts(int poolEntries, int runEntries) override {
        label4 = poolEntries;
        label10 = runEntries;
    }
    void focusExitButton() override { events.push_back("focusExitButton"); }
    void focusStartButton() override { events.push_back("focusStartButton"); }
    void disableJobButtons() override { events.push_back("disableJobButtons"); }
    void disableAddFilesButton() override { events.push_back("disableAddFilesButton"); }
};

// Answers questions from a script (No when the script is used up) and records every box.
class RecordingDialogs final : public DialogsPort {
public:
    std::deque<bool> answers;
    std::vector<std::string> messages;   // OK-only boxes
    std::vector<std::string> questions;  // Yes/No and OK/Cancel boxes

    void message(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& text, Risk) override { return answer(text); }
    bool askOkCancel(const std::string& text, Risk) override { return answer(text); }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> saveFile(const SaveFileRequest&) override { return std::nullopt; }
    ForAllAnswer askYesNoForAll(const std::string& text) override { return answer(text) ? ForAllAnswer::Yes : ForAllAnswer::No; }
    std::optional<std::filesystem::path> openFile(const OpenFileRequest&) override { return std::nullopt; }

private:
    bool answer(const std::string& text) {
        questions.push_back(text);
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

class RecordingPostRun final : public PostRunSteps {
public:
    std::vector<std::vector<std::string>> archived;
    int exportOffers = 0;
    void archive(const std::vector<std::string>& runList) override { archived.push_back(runList); }
    void offerExport() override { ++exportOffers; }
};

// Gives the times of `script` in turn, then keeps giving the last one.
class ScriptedClock final : public RunClock {
public:
    mutable std::deque<TimeOfDay> script;
    // The steady clock: each reading takes the next of `steady`, then keeps the last.
    mutable std::deque<std::chrono::milliseconds> steady;
    mutable std::chrono::milliseconds lastSteady{0};
    std::chrono::milliseconds steadyNow() const override {
        if (!steady.empty()) {
            lastSteady = steady.front();
            steady.pop_front();
        }
        return lastSteady;
    }
    mutable TimeOfDay last{};
    TimeOfDay now() const override {
        if (!script.empty()) {
            last = script.front();
            script.pop_front();
        }
        return last;
    }
};

}  // namespace sbx::test
