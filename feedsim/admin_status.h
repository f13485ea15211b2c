// The admin port's status line: 23 comma-separated fields, none empty, ended
// by CR LF. Field 13 (counting from 1) is the connection state, "Connected"
// or "Not Connected":
//   S,STATS,server address,level-one port,max symbols,watched symbols,
//   clients,seconds since last update,reconnections,attempted reconnections,
//   start time,market time,state,version,login,kB received,kB/s received,
//   average kB/s received,kB sent,kB/s sent,average kB/s sent,product,
//   product version
// Times are written "Mon DD HH:MMAM"; texts have commas and line ends
// replaced by blanks, and an empty text becomes "none".
#pragma once

#include <cstdint>
#include <string>

#include "feedsim/civil_time.h"

namespace feedsim {

struct CAdminStatus {
    bool connected = false;
    int level1Port = 0;
    int maxSymbols = 0;
    int64_t watchedSymbols = 0;
    int64_t clients = 0;
    CivilSeconds started = 0;
    CivilSeconds now = 0;
    std::string login, product, productVersion;
    int64_t bytesSent = 0;
};

std::string FormatAdminStatus(const CAdminStatus& status);

}  // namespace feedsim
