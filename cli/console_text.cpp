#include "cli/console_text.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include <memory>
#include <stdexcept>

namespace sbx::cli {

#ifdef _WIN32

namespace {

std::string utf8Of(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) throw std::runtime_error("a command-line argument is not valid UTF-16");
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

struct LocalFreeArgv {
    void operator()(wchar_t** argv) const { LocalFree(argv); }
};

}  // namespace

std::vector<std::string> utf8Arguments(int, char**) {
    int count = 0;
    const std::unique_ptr<wchar_t*, LocalFreeArgv> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!wide) throw std::runtime_error("the command line cannot be read (CommandLineToArgvW failed)");
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(utf8Of(wide.get()[i]));
    return args;
}

void showUtf8OnConsole() { SetConsoleOutputCP(CP_UTF8); }

#else

std::vector<std::string> utf8Arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

void showUtf8OnConsole() {}

#endif

}  // namespace sbx::cli
