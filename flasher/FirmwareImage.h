#pragma once
// An image file is checked whole before the device is asked to leave its firmware: a refusal
// found only in the bootloader would leave the device waiting there with its output off.

#include <QString>

#include <cstdint>

// Why aFileName cannot be written into a flash of aFlashSize bytes: it does not open for reading,
// is not a regular file (a device such as /dev/zero, a folder), is empty or is larger than the
// flash. Empty when the image can be written.
QString ImageFileProblem(const QString& aFileName, uint32_t aFlashSize);
