#pragma once

#include <QDateTime>

namespace cantrel {

// The local wall clock. The scheduler never reads the system clock directly,
// so tests can drive a whole day through a fake one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace cantrel
