#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

// What the benchmark and its floor server share: the seventeen queries and the records the
// simulator answers them with right after start-up.

namespace bench {

inline constexpr int Entries = 17;

inline std::string Command(int entry) {
    if (entry == 0)
        return "KOLVAM?";
    char text[16];
    std::snprintf(text, sizeof text, "KOLVAM%02d?", entry);
    return text;
}

// The record of an entry without its CR.
inline std::string Record(int entry) {
    if (entry == 0)
        return "REZU DOZURUZ UNIT, Kolva0_Master, C, T1=25.0, T2=25.1, T3=25.2, T4=25.3, "
               "T5=25.4, T6=25.5, T7=25.6, T8=25.7, T9=25.8, T10=25.9, T11=26.0, T12=26.1, "
               "T13=26.2, T14=26.3, T15=26.4, T16=26.5, Amb=26.6";
    return "REZU DOZURUZ UNIT, Kolva" + Command(entry).substr(6, 2) +
           ", C, T1=32.0, T2=32.1, T3=32.2, T4=32.3, T5=32.4, T6=32.5, T7=32.6, T8=32.7, "
           "T9=32.8, T10=32.9, T11=33.0, T12=33.1, T13=33.2, T14=33.3, T15=33.4, T16=33.5, "
           "Amb=33.6";
}

} // namespace bench
