#pragma once

#include <QString>

namespace kelvora::test {

// Points the settings store, the data folders and the simulator's ports folder at a private
// temporary directory for the whole test process. Must run before any QSettings is created.
void IsolateUserFolders();

// The private root created by IsolateUserFolders().
QString IsolatedRoot();

// Empties the settings store (organisation "ardentix", application "KPX").
void ClearSettingsStore();

// Full path of the file that backs the settings store.
QString SettingsFilePath();

}  // namespace kelvora::test
