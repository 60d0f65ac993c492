#pragma once
// Texts of the connector result codes.

#include <QString>

#include <cstdint>

QString KRConnectorErrorMsg(int32_t AError);
