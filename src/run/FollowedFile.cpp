#include "run/FollowedFile.h"

#include <QDateTime>
#include <QFileInfo>

namespace cantrel {

namespace {

// What tells a file saved anew from the one in force: its time and size
// (a file saved by renaming a new one over it also has another inode).
QString stampOf(const QString& name) {
    const QFileInfo info(name);
    if (!info.exists())
        return {};
    return QStringLiteral("%1 %2 %3")
        .arg(info.lastModified().toMSecsSinceEpoch())
        .arg(info.size())
        .arg(info.metadataChangeTime().toMSecsSinceEpoch());
}

} // namespace

void FollowedFile::start(const QString& name) {
    name_ = name;
    inForce_ = seen_ = stampOf(name);
    seenFor_.invalidate();
}

bool FollowedFile::savedAnew() {
    const QString stamp = stampOf(name_);
    if (stamp == inForce_) {
        seen_ = stamp;
        seenFor_.invalidate();
        return false;
    }
    // Still changing: wait until it has been quiet for a moment.
    if (stamp != seen_ || !seenFor_.isValid()) {
        seen_ = stamp;
        seenFor_.start();
        return false;
    }
    if (seenFor_.elapsed() < kSettleMs)
        return false;
    inForce_ = stamp;
    seenFor_.invalidate();
    return true;
}

} // namespace cantrel
