#pragma once

#include <QString>

namespace kolva {

// A failed operation as the operator is told about it: a number and a description.
//
// The error convention of query/ and of what the window calls: an operation that can fail
// returns false, and the object that ran it keeps the failure for asking (lastError()); a
// result made before any object exists (BoundPort) carries its failure; a pure conversion with
// one way to fail (portFromText) returns std::optional. socket_error.h numbers and names every
// failure. Nothing below ui/ shows a message; the window decides what the operator sees.
struct OperationError {
    int number = 0;
    QString description;
};

} // namespace kolva
