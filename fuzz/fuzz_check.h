#pragma once

#include <QString>
#include <cstdio>
#include <cstdlib>

// What every fuzz target checks with: a broken property prints itself and aborts, and
// libFuzzer keeps the input that broke it.

inline void Require(bool holds, const char *property, const QString &context = {}) {
    if (holds)
        return;
    std::fprintf(stderr, "broken: %s\n  [%s]\n", property, context.toUtf8().constData());
    std::abort();
}

// A text a non-finite double would have been written as, in any case.
inline bool NamesNonFinite(const QString &text) {
    return text.contains(QLatin1String("inf"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String("nan"), Qt::CaseInsensitive);
}
