#pragma once

namespace sbx {

// Without TZ in the environment, the C library looks at /etc/localtime again on every local
// time conversion (libzip makes one for each entry of an .xlsx package it reads: about a dozen
// each source). Naming that file in TZ gives the same zone, looked at once. Called first thing
// in main, before any thread starts; nothing on Windows.
void settleLocalTimeZone();

}  // namespace sbx
