#pragma once

#include <QString>

namespace cantrel {

// Where a run tells what went wrong: boxes in the window, lines on standard
// error without one.
class RunReport {
  public:
    virtual ~RunReport() = default;
    // A failure the run goes on after: a media file that would not open, a
    // pulse that failed. programText: one of the program's own texts (a
    // plain box) rather than the platform's (the general error display).
    // detail: what file or port it concerns, and why.
    virtual void failure(const QString& text, bool programText, const QString& detail) = 0;
    // Run mode ended by itself; the engine is already out of it. text is the
    // failure's text, or what happened when the window shows nothing
    // (shown false); detail as for a failure.
    virtual void ended(const QString& text, bool shown, const QString& detail) = 0;
};

} // namespace cantrel
