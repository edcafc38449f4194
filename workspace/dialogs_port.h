#pragma once
// How the core asks the user something: message boxes, questions, input boxes and the
// save-file and open-file dialogs. The Qt windows, the command-line tool and the tests each
// implement it.
// Texts are UTF-8; a carriage return (character 13) inside a text is a line break. Every
// box has the application's title "数簿星", the stated buttons and no icon.
#include <filesystem>
#include <optional>
#include <string>

namespace sbx {

struct SaveFileRequest {
    std::string title;               // e.g. "导出汇总EXCELL表格..."
    std::string filter;              // e.g. "*.xls"
    std::string defaultSuffix;       // e.g. "xls"
    std::filesystem::path startIn;   // folder shown first; empty: the dialog's own choice
};

struct OpenFileRequest {
    std::string title;
    std::string filter;              // e.g. "表格文件 (*.xls *.xlsx *.xlsm)"
    std::filesystem::path startIn;   // folder shown first; empty: the dialog's own choice
};

// An answer to a question about one of several files that may settle the others too.
enum class ForAllAnswer { Yes, No, YesToAll, NoToAll };

// What a question's "yes" (or OK) does. A destructive one deletes, moves or overwrites files:
// its box offers the safe answer as the default, so that a hasty Enter never destroys.
enum class Risk { Harmless, Destructive };

class DialogsPort {
public:
    virtual ~DialogsPort() = default;

    // A message with an OK button only.
    virtual void message(const std::string& text) = 0;
    // A message that waits for OK beside a workbook being looked at: that window stays
    // usable, the program's other windows wait. By default, a message.
    virtual void messageBesideOtherWindows(const std::string& text) { message(text); }
    // A question with Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& text, Risk risk) = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool askOkCancel(const std::string& text, Risk risk) = 0;
    // A destructive question about one of several files, with 是, 否, 全部覆盖 (yes to this and
    // the rest) and 全部跳过 (no to this and the rest); 否 is the default.
    virtual ForAllAnswer askYesNoForAll(const std::string& text) = 0;
    // An input box; std::nullopt when the user cancels (an empty OK gives "").
    virtual std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) = 0;
    // The save-file dialog; std::nullopt when the user cancels. It never asks about
    // overwriting: the caller decides.
    virtual std::optional<std::filesystem::path> saveFile(const SaveFileRequest& request) = 0;
    // The open-file dialog for one existing file; std::nullopt when the user cancels.
    virtual std::optional<std::filesystem::path> openFile(const OpenFileRequest& request) = 0;
};

}  // namespace sbx
