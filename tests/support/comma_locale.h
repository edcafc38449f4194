#pragma once
// LC_NUMERIC switched to a locale whose decimal separator is a comma (as a desktop session in
// German makes it: Qt sets the C locale from the environment), for the life of the object.
// An installed one is taken (de_DE.UTF-8, ...); failing that, de_DE.UTF-8 is built with
// localedef into a folder of the test's own (LOCPATH), which needs no root. When neither
// works, active() is false and why() says so, for a skip message. Windows' C runtime has the
// locales under names of its own.
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/test_files.h"

namespace sbx::testing {

class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        if (const char* current = std::setlocale(LC_NUMERIC, nullptr)) before_ = current;
#ifdef _WIN32
        // Windows' C runtime has every locale, under names of its own.
        for (const char* name : {"de-DE", "German_Germany.1252", "French_France.1252"}) {
            if (use(name)) return;
        }
        why_ = "the C runtime knows no German or French locale";
#else
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8"}) {
            if (use(name)) return;
        }
        const std::string command = "localedef -i de_DE -f UTF-8 '" + (folder_.path() / "de_DE.UTF-8").string() +
                                    "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            if (const char* path = std::getenv("LOCPATH")) locPathBefore_ = path;
            ::setenv("LOCPATH", folder_.path().c_str(), 1);
            if (use("de_DE.UTF-8")) return;
        }
        why_ = "no locale with a decimal comma is installed (de_DE.UTF-8: apt-get install locales; locale-gen), "
               "and localedef could not build one";
#endif
    }
    ~DecimalCommaLocale() {
        std::setlocale(LC_NUMERIC, before_.c_str());
#ifndef _WIN32
        if (locPathBefore_) {
            ::setenv("LOCPATH", locPathBefore_->c_str(), 1);
        } else {
            ::unsetenv("LOCPATH");
        }
#endif
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool active() const { return why_.empty(); }
    const std::string& why() const { return why_; }

private:
    bool use(const char* name) {
        return std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point == std::string(",");
    }

    TempFolder folder_{"comma-locale"};
    std::string before_ = "C";
    std::optional<std::string> locPathBefore_;
    std::string why_;
};

}  // namespace sbx::testing
