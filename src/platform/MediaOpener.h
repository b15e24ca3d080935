#pragma once

#include <QString>

namespace cantrel {

// Hands a media file (or a mailto: link) to the desktop's opener. May be
// called from worker threads.
class MediaOpener {
public:
    virtual ~MediaOpener() = default;
    // False when the file does not exist or the opener cannot be started.
    virtual bool open(const QString& target) = 0;
};

// The real opener: xdg-open, or the program named by CANTREL_OPENER, started
// detached with the target as its only argument (never through a shell).
class DesktopMediaOpener final : public MediaOpener {
public:
    bool open(const QString& target) override;
    static QString openerProgram();
};

} // namespace cantrel
