#pragma once

#include <QString>

#include <atomic>

namespace cantrel {

// Hands a media file (or a mailto: link) to the desktop's opener. May be
// called from worker threads, several at once.
class MediaOpener {
public:
    virtual ~MediaOpener() = default;
    // False when the target was not opened: a file that does not exist, an
    // opener that cannot be started, or one that reports a failure; why,
    // when given, then says which ("no such file", "xdg-open exited with
    // status 4", ...).
    virtual bool open(const QString& target, QString* why = nullptr) = 0;
};

// The real opener: xdg-open, or the program named by CANTREL_OPENER, started
// with the target as its only argument (never through a shell). It waits up
// to waitMs for the opener's verdict: exit status 0 is opened; a non-zero
// status or a crash is a failure. An opener still running after waitMs
// counts as opened and is left running.
class DesktopMediaOpener final : public MediaOpener {
public:
    explicit DesktopMediaOpener(int waitMs = 2000) : waitMs_(waitMs) {}
    bool open(const QString& target, QString* why = nullptr) override;
    static QString openerProgram();
    // Why no media file can open at all, with what to do about it: the
    // opener is not installed, or it is the desktop's and there is no
    // desktop to open on. Empty when the opener may work.
    static QString problem();
    // Opens in progress stop waiting at once, and later ones do not wait:
    // for a program that is ending.
    void stopWaiting() { calledOff_ = true; }

private:
    const int waitMs_;
    std::atomic<bool> calledOff_{false};
};

} // namespace cantrel
