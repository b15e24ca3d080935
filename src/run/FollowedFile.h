#pragma once

#include <QElapsedTimer>
#include <QString>

namespace cantrel {

// A file a run without a window follows (the calendar, today's day file):
// it tells when the file has been saved anew, but only once the file has
// stayed as it is for a moment, so a save still being written by an editor
// is never read half-way.
class FollowedFile {
  public:
    // How long a changed file must stay unchanged before it is taken.
    static constexpr qint64 kSettleMs = 400;

    // The file as it now stands is the one in force.
    void start(const QString& name);
    const QString& name() const { return name_; }
    // True when the file differs from the one in force and has since stayed
    // the same for kSettleMs. It is then the one in force, whether or not it
    // reads: one that does not is tried again when it changes again.
    bool savedAnew();

  private:
    QString name_;
    QString inForce_;
    QString seen_;
    QElapsedTimer seenFor_;
};

} // namespace cantrel
