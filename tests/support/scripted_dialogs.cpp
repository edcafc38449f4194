#include "tests/support/scripted_dialogs.h"

#include <utility>

namespace sbx::testing {

const char* kindName(ScriptedDialogs::Kind kind) {
    switch (kind) {
        case ScriptedDialogs::Kind::Message: return "message";
        case ScriptedDialogs::Kind::YesNo: return "Yes/No question";
        case ScriptedDialogs::Kind::OkCancel: return "OK/Cancel question";
        case ScriptedDialogs::Kind::Input: return "input box";
        case ScriptedDialogs::Kind::SaveFile: return "save dialog";
        case ScriptedDialogs::Kind::YesNoForAll: return "Yes/No/for all question";
        case ScriptedDialogs::Kind::OpenFile: return "open dialog";
    }
    return "?";
}

ScriptedDialogs& ScriptedDialogs::expectMessage(std::string text) {
    script_.push_back({Kind::Message, std::move(text), false, false, std::nullopt, std::nullopt, {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectMessageContaining(std::string part) {
    script_.push_back({Kind::Message, std::move(part), true, false, std::nullopt, std::nullopt, {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectYesNo(std::string question, bool yes, Risk risk) {
    script_.push_back({Kind::YesNo, std::move(question), false, yes, std::nullopt, std::nullopt, {}, risk});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectOkCancel(std::string question, bool ok, Risk risk) {
    script_.push_back({Kind::OkCancel, std::move(question), false, ok, std::nullopt, std::nullopt, {}, risk});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectInput(std::string prompt, std::optional<std::string> answer) {
    script_.push_back({Kind::Input, std::move(prompt), false, false, std::move(answer), std::nullopt, {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectSaveFile(std::optional<std::filesystem::path> file) {
    script_.push_back({Kind::SaveFile, std::string(), false, false, std::nullopt, std::move(file), {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectYesNoForAll(std::string question, ForAllAnswer answer) {
    Step step{Kind::YesNoForAll, std::move(question), false, false, std::nullopt, std::nullopt, {}, Risk::Destructive};
    step.forAll = answer;
    script_.push_back(std::move(step));
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectOpenFile(std::optional<std::filesystem::path> file) {
    script_.push_back({Kind::OpenFile, std::string(), false, false, std::nullopt, std::move(file), {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::then(std::function<void()> action) {
    if (script_.empty()) throw ScriptedDialogsError("then() needs a step before it");
    script_.back().after = std::move(action);
    return *this;
}

std::vector<std::string> ScriptedDialogs::messages() const {
    std::vector<std::string> texts;
    for (const Prompt& prompt : transcript_) {
        if (prompt.kind == Kind::Message) texts.push_back(prompt.text);
    }
    return texts;
}

std::string ScriptedDialogs::problems() const {
    std::string text;
    for (const std::string& problem : problems_) text += problem + "\n";
    for (std::size_t i = next_; i < script_.size(); ++i) {
        text += std::string("expected ") + kindName(script_[i].kind) + " \"" + script_[i].text +
                "\" was never shown\n";
    }
    return text;
}

void ScriptedDialogs::fail(const std::string& why) {
    problems_.push_back(why);
    throw ScriptedDialogsError(why);
}

ScriptedDialogs::Step ScriptedDialogs::take(const Prompt& prompt, bool matchText) {
    transcript_.push_back(prompt);
    const std::string shown = std::string(kindName(prompt.kind)) + " \"" + prompt.text + "\"";
    if (next_ >= script_.size()) fail("unexpected " + shown + ": the script has no more steps");
    Step step = script_[next_];
    if (step.kind != prompt.kind) {
        fail("unexpected " + shown + " where the script expects " + kindName(step.kind) + " \"" + step.text + "\"");
    }
    if (matchText) {
        const bool fits = step.containing ? prompt.text.find(step.text) != std::string::npos : prompt.text == step.text;
        if (!fits) fail("unexpected " + shown + " where the script expects \"" + step.text + "\"");
    }
    if (step.risk != prompt.risk) {
        const auto name = [](Risk risk) { return risk == Risk::Destructive ? "destructive" : "harmless"; };
        fail(shown + " asked as " + name(prompt.risk) + " where the script expects it " + name(step.risk));
    }
    ++next_;
    if (step.after) step.after();
    return step;
}

void ScriptedDialogs::message(const std::string& text) {
    if (allowMessages_ && (next_ >= script_.size() || script_[next_].kind != Kind::Message)) {
        transcript_.push_back({Kind::Message, text, {}, {}, {}});
        return;
    }
    take({Kind::Message, text, {}, {}, {}});
}

bool ScriptedDialogs::askYesNo(const std::string& text, Risk risk) {
    return take({Kind::YesNo, text, {}, {}, {}, risk}).answer;
}

bool ScriptedDialogs::askOkCancel(const std::string& text, Risk risk) {
    return take({Kind::OkCancel, text, {}, {}, {}, risk}).answer;
}

std::optional<std::string> ScriptedDialogs::inputBox(const std::string& prompt, const std::string& title,
                                                     const std::string& defaultText) {
    return take({Kind::Input, prompt, title, defaultText, {}}).input;
}

std::optional<std::filesystem::path> ScriptedDialogs::saveFile(const SaveFileRequest& request) {
    return take({Kind::SaveFile, request.title, {}, {}, request}, false).file;
}

ForAllAnswer ScriptedDialogs::askYesNoForAll(const std::string& text) {
    return take({Kind::YesNoForAll, text, {}, {}, {}, Risk::Destructive}).forAll;
}

std::optional<std::filesystem::path> ScriptedDialogs::openFile(const OpenFileRequest& request) {
    return take({Kind::OpenFile, request.title, {}, {}, {}, Risk::Harmless, request}, false).file;
}

}  // namespace sbx::testing
