#pragma once

#include "run/HeadlessRun.h"

#include <QString>

namespace cantrel {

class SettingsFile;

inline const QString kSettingsName = QStringLiteral("Cantrel.ini");
// A file of this name beside the program marks an installed copy, whose
// folder is the system's and not the user's: its settings then live in the
// user's configuration folder. The file's text says so for whoever reads it;
// only its presence counts.
inline const QString kInstalledMarkerName = QStringLiteral("Cantrel.ini.location");

// Whether the program in this folder is an installed copy (the marker beside it).
bool isInstalledCopy(const QString& programFolder);

// Where the settings file is read at start-up and written at close.
struct SettingsPlace {
    // The file to read; empty when there is none to read.
    QString readFrom;
    // The folder written to, which becomes the current one.
    QString writeFolder;
};

// From the tree or a plain copy: "Cantrel.ini" in the current folder, written
// beside the program. Installed: the current folder's file when there is
// one, else the configuration folder's; written to the configuration folder.
SettingsPlace settingsPlace(const QString& programFolder);

// What Run mode takes from the settings, read alike by the window and by the
// run without one.
HeadlessSettings readRunSettings(const SettingsFile& list);

} // namespace cantrel
