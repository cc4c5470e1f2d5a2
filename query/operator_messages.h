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

// A failed operation: a number and a description, as the operator is told about it.
struct OperationError {
    int number = 0;
    QString description;
};

} // namespace kolva
