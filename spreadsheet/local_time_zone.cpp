#include "spreadsheet/local_time_zone.h"

#include <cstdlib>
#include <ctime>

namespace sbx {

void settleLocalTimeZone() {
#ifndef _WIN32
    // ":/etc/localtime" is what glibc reads when TZ is unset, and its UTC when that file is missing.
    if (std::getenv("TZ") == nullptr) {
        setenv("TZ", ":/etc/localtime", 0);
        tzset();
    }
#endif
}

}  // namespace sbx
