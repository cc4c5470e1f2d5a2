#pragma once

#include <QStringView>

// Text helpers shared by the number texts, the query cleaning and the host name.

namespace kolva {

// The text without the spaces at either end; tabs, CR and LF are not spaces here.
inline QStringView trimSpaces(QStringView text) {
    while (!text.isEmpty() && text.front() == u' ')
        text = text.mid(1);
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

} // namespace kolva
