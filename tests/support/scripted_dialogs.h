#pragma once
// A DialogsPort for tests: a script of the prompts expected, in order, with the answers to
// give. Every prompt is recorded. A prompt that the script does not expect next (another kind,
// another text, or none left) is recorded as a problem and throws ScriptedDialogsError, so a
// test fails where the unexpected box would have appeared.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "workspace/dialogs_port.h"

namespace sbx::testing {

class ScriptedDialogsError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class ScriptedDialogs : public DialogsPort {
public:
    enum class Kind { Message, YesNo, OkCancel, Input, SaveFile, YesNoForAll, OpenFile };

    struct Prompt {
        Kind kind;
        std::string text;  // message or question; the prompt of an input box; the save dialog's title
        std::string title;  // input box title
        std::string defaultText;  // input box default
        SaveFileRequest saveRequest;  // the save dialog's request
        Risk risk = Risk::Harmless;   // a question's
        OpenFileRequest openRequest{};  // the open dialog's request
    };

    // Expect the exact text.
    ScriptedDialogs& expectMessage(std::string text);
    // Expect a message that contains `part` (for texts that carry a system's reason).
    ScriptedDialogs& expectMessageContaining(std::string part);
    // A question asked with another risk than `risk` is a problem too.
    ScriptedDialogs& expectYesNo(std::string question, bool yes, Risk risk = Risk::Harmless);
    ScriptedDialogs& expectOkCancel(std::string question, bool ok, Risk risk = Risk::Harmless);
    ScriptedDialogs& expectInput(std::string prompt, std::optional<std::string> answer);
    // The save dialog: any title; answers with `file` (std::nullopt: cancel).
    ScriptedDialogs& expectSaveFile(std::optional<std::filesystem::path> file);
    // The question with 是, 否, 全部覆盖 and 全部跳过 (always destructive).
    ScriptedDialogs& expectYesNoForAll(std::string question, ForAllAnswer answer);
    // The open dialog: any title; answers with `file` (std::nullopt: cancel).
    ScriptedDialogs& expectOpenFile(std::optional<std::filesystem::path> file);
    // Runs `action` right after the most recently added step is answered, before the code
    // under test goes on (e.g. to change the file system between two questions).
    ScriptedDialogs& then(std::function<void()> action);

    // Messages pass without a script entry from now on (they are still recorded).
    void allowUnscriptedMessages() { allowMessages_ = true; }

    // Everything asked so far, in order.
    const std::vector<Prompt>& transcript() const { return transcript_; }
    std::vector<std::string> messages() const;
    // Steps of the script not reached yet.
    std::size_t remaining() const { return script_.size() - next_; }
    // What went wrong, one line each: unexpected prompts, and steps never reached. Empty when
    // the script was followed to its end.
    std::string problems() const;

    void message(const std::string& text) override;
    bool askYesNo(const std::string& text, Risk risk) override;
    bool askOkCancel(const std::string& text, Risk risk) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    std::optional<std::filesystem::path> saveFile(const SaveFileRequest& request) override;
    ForAllAnswer askYesNoForAll(const std::string& text) override;
    std::optional<std::filesystem::path> openFile(const OpenFileRequest& request) override;

private:
    struct Step {
        Kind kind;
        std::string text;
        bool containing = false;
        bool answer = false;
        std::optional<std::string> input;
        std::optional<std::filesystem::path> file;
        std::function<void()> after;
        Risk risk = Risk::Harmless;
        ForAllAnswer forAll = ForAllAnswer::No;
    };

    // Matches the prompt against the next step; throws when it does not fit.
    Step take(const Prompt& prompt, bool matchText = true);
    void fail(const std::string& why);

    std::vector<Step> script_;
    std::size_t next_ = 0;
    std::vector<Prompt> transcript_;
    std::vector<std::string> problems_;
    bool allowMessages_ = false;
};

const char* kindName(ScriptedDialogs::Kind kind);

}  // namespace sbx::testing
