#pragma once
// IPv4 addresses as the Connection panel keeps them: first octet in the low byte.

#include <QString>

#include <cstdint>
#include <optional>

// "192.168.001.001" -> 0x0101A8C0. Four numbers are required and each must be an octet
// (0..255): a larger number would spill into the next octet and reach a different host.
std::optional<uint32_t> IpTextToAddr(const QString& text);
QString IpAddrToText(uint32_t addr);      // "192.168.1.1"
QString IpAddrToMaskText(uint32_t addr);  // "192.168.001.001"
