// File faults in the middle of real runs (native engine, real .xls files): a write that
// breaks off half-way, a full disk, a flush or a rename that fails, a source removed between
// the pool scan and its opening, read-only sources and summary. Whatever happens, the
// summary workbook on disk is the old file or one complete save, never a mix; no temporary
// file stays behind; every source is byte-identical; the user is told.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "consolidate/record/json_value.h"
#include "consolidate/run/run_messages.h"
#include "spreadsheet/utf8_path.h"
#include "tests/reliability_run_fixture.h"

namespace sbx::test {
namespace {

enum class Fault { None, WriteBreaksOffHalfWay, DiskFull, FlushFails, RenameFails, ShortWritesAndInterrupts };

std::string nameOf(Fault f) {
    switch (f) {
        case Fault::None: return "none";
        case Fault::WriteBreaksOffHalfWay: return "write breaks off half-way";
        case Fault::DiskFull: return "disk full";
        case Fault::FlushFails: return "flush fails";
        case Fault::RenameFails: return "rename fails";
        case Fault::ShortWritesAndInterrupts: return "short writes and interrupts";
    }
    return "?";
}

// The saves of one run, seen from the file operations: what each attempt meant to write, and
// which attempts took the old file's place. The fault strikes at attempt `strikeAt`.
struct SaveLog {
    Fault fault = Fault::None;
    int strikeAt = 1;
    int attempt = 0;
    bool inAttempt = false;
    int interrupts = 0;
    std::vector<std::string> attempted;   // bytes handed to write, per attempt
    std::vector<std::string> completed;   // bytes of the attempts whose rename succeeded

    void arm(Fault f, int at) {
        *this = SaveLog();
        fault = f;
        strikeAt = at;
    }
    bool striking() const { return attempt == strikeAt; }
    void endAttempt() { inAttempt = false; }

    FileWriteSteps steps() {
        FileWriteSteps s = FileWriteSteps::system();
        s.write = [this, systemWrite = s.write](int fd, const uint8_t* data, size_t size) -> long {
            if (!inAttempt) {
                inAttempt = true;
                ++attempt;
                attempted.emplace_back();
            }
            if (striking()) {
                const size_t before = attempted.back().size();
                switch (fault) {
                    case Fault::WriteBreaksOffHalfWay:
                        if (before > 0) return endWith(EIO);
                        size = size / 2;
                        break;
                    case Fault::DiskFull:
                        if (before > 0) return endWith(ENOSPC);
                        size = std::min<size_t>(size, 512);
                        break;
                    case Fault::ShortWritesAndInterrupts:
                        // Every other call is interrupted; the others take at most 777 bytes.
                        if (interrupts++ % 2 == 0) {
                            errno = EINTR;
                            return -1;
                        }
                        size = std::min<size_t>(size, 777);
                        break;
                    default:
                        break;
                }
            }
            const long n = systemWrite(fd, data, size);
            if (n > 0) attempted.back().append(reinterpret_cast<const char*>(data), static_cast<size_t>(n));
            return n;
        };
        s.sync = [this, systemSync = s.sync](int fd) {
            if (striking() && fault == Fault::FlushFails) return static_cast<int>(endWith(EIO));
            return systemSync(fd);
        };
        const auto rename = s.rename;
        s.rename = [this, rename](const fs::path& from, const fs::path& to) {
            if (striking() && fault == Fault::RenameFails) return static_cast<int>(endWith(EACCES));
            const int result = rename(from, to);
            if (result == 0) completed.push_back(attempted.back());
            endAttempt();
            return result;
        };
        return s;
    }

private:
    long endWith(int error) {
        endAttempt();
        errno = error;
        return -1;
    }
};

class FaultInjection : public ReliabilityRun {
protected:
    SaveLog log;

    fs::path record() const { return home / "hz" / "total.xls.run.json"; }

    void SetUp() override {
        ReliabilityRun::SetUp();
        useFixturePool();
        makeHost = [this] { return std::make_unique<NativeHost>(log.steps()); };
    }
};

// Every fault, at the first and at the second save of a two-worksheet run, in both modes.
TEST_F(FaultInjection, SummaryIsTheOldFileOrOneCompleteSaveAfterEveryFault) {
    const std::string original = bytesOf(summary());
    const auto sources = checksumsIn(home);
    for (const auto& [modeName, run] : kBothModes) {
        for (const Fault fault : {Fault::WriteBreaksOffHalfWay, Fault::DiskFull, Fault::FlushFails, Fault::RenameFails}) {
            for (const int strikeAt : {1, 2}) {
                SCOPED_TRACE(modeName + ", " + nameOf(fault) + " at save " + std::to_string(strikeAt));
                fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
                fs::remove(record());
                resetRun();
                log.arm(fault, strikeAt);

                const RunSummary out = run(setup());

                // On disk: the last complete save, or the old file when none completed, and
                // beside a partly saved summary the record of what it holds.
                const std::string now = bytesOf(summary());
                EXPECT_EQ(now, log.completed.empty() ? original : log.completed.back());
                const std::vector<std::string> beside{"total.xls", "total.xls.run.json"};
                EXPECT_EQ(namesIn(home / "hz"), strikeAt == 1 ? std::vector<std::string>{"total.xls"} : beside);
                EXPECT_NO_THROW(makeNativeHost()->open(summary()));
                EXPECT_EQ(checksumsIn(home), sources);
                ASSERT_GE(log.attempt, strikeAt);

                // The user is told, and the diagnosis says what the disk did.
                ASSERT_FALSE(dialogs.messages.empty());
                const std::string reason = fault == Fault::RenameFails ? std::strerror(EACCES)
                                           : fault == Fault::DiskFull  ? std::strerror(ENOSPC)
                                                                       : std::strerror(EIO);
                EXPECT_NE(out.diagnosis.find(reason), std::string::npos) << out.diagnosis;
                EXPECT_NE(out.diagnosis.find("total.xls"), std::string::npos) << out.diagnosis;
                // The failed save ends the run through the failure diagnosis, in both modes:
                // no archiving or export is offered for a summary that was not saved.
                EXPECT_EQ(out.state, RunState::Failed);
                EXPECT_EQ(dialogs.messages.front(), run == &runEfficiencyMode
                                                        ? run_text::efficiencyFailureMessage(paths().poolPrefix() + "branch_3.xls")
                                                        : run_text::functionFailureMessage(paths().poolPrefix() + "branch_3.xls"));
                EXPECT_TRUE(dialogs.questions.empty());
                EXPECT_EQ(log.completed.size(), static_cast<size_t>(strikeAt - 1));
                // ... and a second message names the summary and why it was not saved.
                // After a worksheet was saved, a last one names the worksheets with totals and without.
                ASSERT_EQ(dialogs.messages.size(), strikeAt == 1 ? 2u : 3u);
                if (strikeAt > 1) {
                    EXPECT_EQ(dialogs.messages.back().rfind("汇总文件只完成了一部分：", 0), 0u);
                }
                EXPECT_EQ(dialogs.messages[1].rfind("汇总文件未能保存：\r" + summary().string() + "\r原因：", 0), 0u)
                    << dialogs.messages[1];
                EXPECT_EQ(dialogs.messages[1].find(reason), std::string::npos) << dialogs.messages[1];
                const std::string inWords = fault == Fault::RenameFails ? "文件为只读，或没有写入该文件夹的权限"
                                            : fault == Fault::DiskFull  ? "磁盘空间已满"
                                                                        : "磁盘读写出错";
                EXPECT_NE(dialogs.messages[1].find("原因：无法保存文件：" + inWords + "\r"), std::string::npos)
                    << dialogs.messages[1];
                EXPECT_NE(dialogs.messages[1].find(strikeAt == 1 ? "仍是汇表前的内容" : "只有前 1 个工作表"),
                          std::string::npos)
                    << dialogs.messages[1];
            }
        }
    }
}

// A run that fails part-way leaves the record beside the summary describing the summary on
// disk: untouched when nothing was saved (the summary is as before, and so is the record of
// the run before), else a record of the worksheets saved and of the failure.
TEST_F(FaultInjection, TheRecordDescribesTheSummaryAfterAFailure) {
    enum class Cause { SaveFailsAtFirst, SaveFailsAtSecond, SourceLacksSecondWorksheet };
    struct Case {
        Cause cause;
        RunMode run;
        std::string failure;  // the record's failure kind; empty: the old record stays
    };
    const std::vector<Case> cases{
        {Cause::SaveFailsAtFirst, &runEfficiencyMode, ""},
        {Cause::SaveFailsAtFirst, &runFunctionMode, ""},
        {Cause::SaveFailsAtSecond, &runEfficiencyMode, "SUMMARY_NOT_SAVED"},
        {Cause::SaveFailsAtSecond, &runFunctionMode, "SUMMARY_NOT_SAVED"},
        {Cause::SourceLacksSecondWorksheet, &runEfficiencyMode, "WORKSHEET_MISSING"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.cause)) + (c.run == &runEfficiencyMode ? " efficiency" : " function"));
        fs::copy_file(kPoolFixture / "branch_1.xls", home / "branch_1.xls", fs::copy_options::overwrite_existing);
        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        resetRun();
        log.arm(Fault::None, 0);
        ASSERT_EQ(c.run(setup()).state, RunState::Finished);
        const std::string before = bytesOf(record());

        resetRun();
        if (c.cause == Cause::SourceLacksSecondWorksheet) {
            // branch_1 as its unit sent it this time: without the worksheet 成本费用.
            fs::copy_file(fs::path(SBX_TEST_DATA) / "one_read" / "branch_1_income_only.xls", home / "branch_1.xls",
                          fs::copy_options::overwrite_existing);
        } else {
            log.arm(Fault::RenameFails, c.cause == Cause::SaveFailsAtFirst ? 1 : 2);
        }
        const RunSummary out = c.run(setup());
        ASSERT_NE(out.state, RunState::Finished) << out.diagnosis;
        if (c.failure.empty()) {
            EXPECT_EQ(bytesOf(record()), before);
            continue;
        }
        const JsonValue root = JsonValue::parse(bytesOf(record()));
        EXPECT_EQ(root["outcome"].string(), "failed");
        EXPECT_EQ(root["failure"]["kind"].string(), c.failure);
        ASSERT_EQ(root["job"].array().size(), 2u);
        EXPECT_TRUE(root["job"].array()[0]["saved"].boolean());
        EXPECT_FALSE(root["job"].array()[1]["saved"].boolean());
        // Every cell recorded is of the saved worksheet and holds the total the summary holds.
        auto host = makeNativeHost();
        Worksheet& saved = host->open(summary()).worksheet(kIncome);
        ASSERT_FALSE(root["cells"].array().empty());
        for (const JsonValue& cell : root["cells"].array()) {
            ASSERT_EQ(cell["worksheet"].string(), kIncome);
            const CellAddress at = *parseCellAddress(cell["cell"].string());
            const CellValue onDisk = saved.cell(at.row, at.column);
            if (cell["total"].isNull()) {
                EXPECT_TRUE(onDisk.isEmpty()) << cell["cell"].string();
            } else {
                EXPECT_DOUBLE_EQ(onDisk.numberValue(), cell["total"].number()) << cell["cell"].string();
            }
        }
    }
}

// A record that cannot be written (a folder stands at its name) is not left describing the
// summary before, and the user is told why, in both modes.
TEST_F(FaultInjection, ARecordThatCannotBeWrittenIsToldAndLeavesNoStaleOne) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        fs::remove_all(record());
        fs::create_directory(record());
        resetRun();
        log.arm(Fault::None, 0);
        ASSERT_EQ(run(setup()).state, RunState::Finished);
        EXPECT_TRUE(fs::is_directory(record()));
        const auto told = std::find_if(dialogs.messages.begin(), dialogs.messages.end(), [](const std::string& m) {
            return m.starts_with("汇总表已保存，但本次汇表的运行记录未能写入");
        });
        ASSERT_NE(told, dialogs.messages.end());
        EXPECT_NE(told->find("\r" + record().string() + "\r原因："), std::string::npos) << *told;
        EXPECT_EQ(told->find(std::strerror(EISDIR)), std::string::npos) << *told;  // in words, not the system's English
    }
}

// Short writes and interrupted calls are no faults: the save completes, byte for byte the
// same as a save with plain writes.
TEST_F(FaultInjection, ShortWritesAndInterruptsStillGiveTheWholeFile) {
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        resetRun();
        log.arm(Fault::None, 0);
        ASSERT_EQ(run(setup()).state, RunState::Finished);
        const std::string plain = bytesOf(summary());

        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        resetRun();
        log.arm(Fault::ShortWritesAndInterrupts, 2);
        const RunSummary out = run(setup());
        ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
        EXPECT_GT(log.interrupts, 2);
        EXPECT_EQ(bytesOf(summary()), plain);
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
    }
}

// A file present at the scan and gone when it is opened: the run names it, the summary is
// untouched, the other sources too.
TEST_F(FaultInjection, SourceRemovedBetweenScanAndOpen) {
    const std::string original = bytesOf(summary());
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(kPoolFixture / "branch_2.xls", home / "branch_2.xls", fs::copy_options::overwrite_existing);
        const auto sources = checksumsIn(home);
        resetRun();
        listPool = [this](const fs::path& folder) {
            auto names = listPoolFolder(folder);
            fs::remove(home / "branch_2.xls");
            return names;
        };
        const RunSummary out = run(setup());
        EXPECT_EQ(out.state, RunState::Failed);
        const std::string gone = paths().poolPrefix() + "branch_2.xls";
        ASSERT_EQ(dialogs.messages.size(), 2u);
        EXPECT_EQ(dialogs.messages[0], run == &runEfficiencyMode ? run_text::efficiencyFailureMessage(gone)
                                                                 : run_text::functionFailureMessage(gone));
        EXPECT_EQ(dialogs.messages[1], "找不到文件：\r" + gone) << dialogs.messages[1];
        EXPECT_NE(out.diagnosis.find("branch_2.xls"), std::string::npos) << out.diagnosis;
        EXPECT_EQ(bytesOf(summary()), original);
        auto left = sources;
        left.erase("branch_2.xls");
        EXPECT_EQ(checksumsIn(home), left);
    }
}

// Read-only sources are only read: both modes finish and the files keep their bytes and
// their permissions.
TEST_F(FaultInjection, ReadOnlySourcesAreReadAndLeftAlone) {
    for (const auto& name : selected) fs::permissions(home / name, fs::perms::owner_read | fs::perms::group_read);
    const auto sources = checksumsIn(home);
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        resetRun();
        const RunSummary out = run(setup());
        EXPECT_EQ(out.state, RunState::Finished) << out.diagnosis;
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
        EXPECT_EQ(checksumsIn(home), sources);
        for (const auto& name : selected) {
#ifdef _WIN32
            // Windows keeps one read-only flag, shown as read-only for all.
            EXPECT_EQ(fs::status(home / name).permissions() & fs::perms::owner_write, fs::perms::none) << name;
#else
            EXPECT_EQ(fs::status(home / name).permissions(), fs::perms::owner_read | fs::perms::group_read) << name;
#endif
        }
    }
}

// A read-only summary is refused with the reason, and stays as it was (even for root, whose
// writes the file system would let through).
TEST_F(FaultInjection, ReadOnlySummaryIsRefusedWithTheReason) {
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::permissions(summary(), fs::perms::owner_all, fs::perm_options::add);
        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        fs::permissions(summary(), fs::perms::owner_read);
        const std::string original = bytesOf(summary());
        resetRun();
        const RunSummary out = run(setup());
        EXPECT_NE(out.diagnosis.find("read-only"), std::string::npos) << out.diagnosis;
        EXPECT_FALSE(dialogs.messages.empty());
        EXPECT_EQ(bytesOf(summary()), original);
        EXPECT_EQ(namesIn(home / "hz"), std::vector<std::string>{"total.xls"});
    }
}

// The summary workbook removed before the run: nothing is created in its place, the
// sources stay, and the diagnosis names it.
TEST_F(FaultInjection, SummaryRemovedBeforeTheRun) {
    const auto sources = checksumsIn(home);
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::remove(summary());
        resetRun();
        const RunSummary out = run(setup());
        EXPECT_EQ(out.state, RunState::Failed);
        ASSERT_EQ(dialogs.messages.size(), 2u);
        EXPECT_EQ(dialogs.messages[1], "找不到文件：\r" + utf8String(summary()))
            << dialogs.messages[1];
        EXPECT_NE(out.diagnosis.find("total.xls"), std::string::npos) << out.diagnosis;
        EXPECT_TRUE(namesIn(home / "hz").empty());
        EXPECT_EQ(checksumsIn(home), sources);
    }
}

// A summary that reads but cannot be rewritten safely (found by fuzzing: a worksheet that
// starts inside the globals) is refused and kept as it was, in both modes.
TEST(SummaryRefusedByTheWriter, IsKeptAndTheUserIsTold) {
    const fs::path damaged =
        fs::path(SBX_TEST_DATA) / "fuzz" / "workbook_save" / "globals_without_eof_run_into_the_worksheet.xls";
    const fs::path home = fs::temp_directory_path() / ("sbx-reliability-refused-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "hz");
    fs::copy_file(damaged, home / "a.xls");
    fs::copy_file(damaged, home / "b.xls");
    const std::string original = bytesOf(damaged);
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(damaged, home / "hz" / "total.xls", fs::copy_options::overwrite_existing);
        JobDefinition job;
        addJobRange(job, "第一页", "a1", "c3");
        RecordingStatusView status;
        RecordingDialogs dialogs;
        RecordingPostRun postRun;
        SystemRunClock clock;
        const RunSummary out =
            run(RunSetup{job, {"a.xls", "b.xls"}, 2, WorkspacePaths(home), status, dialogs, postRun, clock});
        EXPECT_NE(out.diagnosis.find("cannot be rewritten"), std::string::npos) << out.diagnosis;
        // Both modes fail and then name the summary.
        EXPECT_EQ(out.state, RunState::Failed);
        ASSERT_EQ(dialogs.messages.size(), 2u);
        EXPECT_NE(dialogs.messages.back().find("total.xls"), std::string::npos) << dialogs.messages.back();
        EXPECT_EQ(bytesOf(home / "hz" / "total.xls"), original);
        EXPECT_EQ(bytesOf(home / "a.xls"), original);
        EXPECT_EQ(namesIn(home / "hz"), std::vector<std::string>{"total.xls"});
    }
    fs::remove_all(home);
}

}  // namespace
}  // namespace sbx::test
