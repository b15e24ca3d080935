#pragma once

// What the window's handler would show for a failure an operation raises:
// the program's own texts in a plain box, anything else in the general error
// display.
#include "platform/ProgramError.h"

#include <QString>

namespace cantrel::test {

// "message: <text>" for the program's own texts, "error: <text>" for any
// other failure, and an empty text when the operation went through.
template <class Operation> QString shownFor(Operation operation) {
    try {
        operation();
    } catch (const ProgramError& failure) {
        return QStringLiteral("message: ") + failure.text();
    } catch (const PlatformError& failure) {
        return QStringLiteral("error: ") + failure.text();
    }
    return {};
}

// The line below the text of what the operation raised: which file or port,
// and why.
template <class Operation> QString detailFor(Operation operation) {
    try {
        operation();
    } catch (const TextFailure& failure) {
        return failure.detail();
    }
    return {};
}

} // namespace cantrel::test
