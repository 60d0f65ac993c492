#pragma once
// Where the program keeps the files it writes for itself (the auto-test table). A portable copy
// keeps them beside the executable; an installed program keeps them in the user's data folder.

#include <QString>

// Name of the marker file that makes the executable's folder the program's data folder.
inline const QString kPortableMarker = QStringLiteral("kelvora.portable");

// executableFolder when it is writable and holds kPortableMarker; otherwise the user's
// application data folder, created if missing.
QString ProgramDataFolderFor(const QString& executableFolder);

// ProgramDataFolderFor the folder of the running executable.
QString ProgramDataFolder();
