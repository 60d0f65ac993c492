#pragma once
// The ports folder holds links to simulated supplies, and a bare port name is looked up there
// before /dev. Outside $XDG_RUNTIME_DIR it lies in /tmp, where another local user could make it
// first and plant a link to a device of their choosing: it is made private, and a folder that
// another user owns or may write into is not used.

#include <QString>

// True when aFolder, and every folder above it, can only be changed by this user (or root; a
// shared folder such as /tmp only with its sticky bit). Otherwise false with the reason, as a
// warning for a person, in aWhy. A folder that does not exist is trusted: it holds nothing.
bool PortsFolderTrusted(const QString& aFolder, QString* aWhy = nullptr);

// Creates aFolder and any missing folder above it with mode 0700.
void MakePortsFolder(const QString& aFolder);
