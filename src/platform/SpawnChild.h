#pragma once

#include <QByteArray>
#include <QList>

#include <sys/types.h>

namespace cantrel {

// Starts a program as a child of ours that does not wait for it: argv[0] is
// looked up in PATH, standard input reads /dev/null, output and errors go
// where ours go. It gets none of our other descriptors (a document's lock,
// the serial line held for an hour by a player), no signal blocked by the
// thread that starts it, and the default action for the signals we ignore
// or handle (SIGPIPE, SIGTERM, SIGINT, SIGXFSZ). The child's pid, or 0 with
// error set to the errno of the failure. The caller reaps it.
pid_t spawnChild(const QList<QByteArray>& argv, int* error);

} // namespace cantrel
