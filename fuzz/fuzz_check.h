#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// What every target is built from: Fuzz(input) checks properties with Require. A broken one
// prints itself and aborts; libFuzzer keeps the input that broke it.

void Fuzz(const QByteArray &input);

inline void Require(bool holds, const char *property, const QString &context = {}) {
    if (!holds)
        qFatal("broken: %s [%s]", property, qPrintable(context));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Fuzz(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
