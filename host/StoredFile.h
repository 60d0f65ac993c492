#pragma once
// The files the program keeps for itself (its settings, the auto-test table) are read and
// replaced only when they are regular files, directly or through links. Anything else in their
// place is left alone: reading a FIFO would wait for ever, a directory swallows every save, and
// replacing a device node would destroy the device.

#include <QString>

#include <functional>
#include <optional>

// Why the path must not be used, or nothing when it is absent or a regular file.
std::optional<QString> StoredFileRefusal(const QString& path);

// True when the path may be read and replaced. A refused path is told once per run through
// the reporter.
bool StoredFileUsable(const QString& path);

// Where refusals are told from now on, each path once again; without one they go unsaid.
void SetStoredFileReporter(std::function<void(const QString& text)> reporter);
