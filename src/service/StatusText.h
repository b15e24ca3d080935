#pragma once

#include "service/ServiceBus.h"

#include <QString>

namespace cantrel {

// `cantrel --status` for a person at a terminal: since when the service
// runs, its files, connection and link, the next row and the last events,
// one per line, each line ending with a newline.
QString statusText(const ServiceState& state);

// An event on one line: the log's fields that say something, two spaces
// apart, lateness in words ("2 ms late").
QString eventLine(const ServiceEvent& event);

} // namespace cantrel
