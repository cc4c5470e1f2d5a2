#pragma once

#include <QString>

// Messages for the operator pass through one sink: the window shows message boxes, tests record.

namespace kolva {

class MessageSink {
public:
    enum class Icon { None, Exclamation };
    virtual ~MessageSink() = default;
    // Shows one message with an OK button and the default title; may block until dismissed.
    virtual void showMessage(const QString &text, Icon icon) = 0;
};

// Operator messages as message boxes with an OK button and the program's title, each also one
// line on standard error. Without a display (Qt's offscreen or minimal platform) nobody could
// click a box: only the line is written.
class MessageBoxSink : public MessageSink {
public:
    void showMessage(const QString &text, Icon icon) override;
};

} // namespace kolva
