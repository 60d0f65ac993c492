#pragma once
// The step table between runs: the file "Persistent.ini" in the program's data folder holds the
// steps back to back, and the setting "CRC" holds the file's CRC-32. A file whose checksum does
// not match (changed outside the program, or cut short) is ignored.

#include <QString>

class TTestSteps;

inline const QString kPersistentFileName = QStringLiteral("Persistent.ini");
inline const QString kPersistentCrcValue = QStringLiteral("CRC");

// ProgramDataFolder()/Persistent.ini.
QString PersistentTablePath();

// Replaces steps with the stored table when the setting exists, the file exists and its
// checksum matches; otherwise steps stay as they are. True when the table was loaded.
bool LoadPersistentTable(TTestSteps& steps, const QString& fileName = PersistentTablePath());

// Writes the table to a new file that replaces the old one only once it is complete, and then
// stores its checksum. Anything but a regular file in its place is left as it is. Raises
// EKelvoraError when the file cannot be written; the stored checksum then still belongs to the
// file that is there.
void SavePersistentTable(const TTestSteps& steps, const QString& fileName = PersistentTablePath());
