#include "modbus/KRConnectorLng.h"

QString KRConnectorErrorMsg(int32_t AError) {
  switch (AError) {
    case 0: return QStringLiteral("Нет ошибок.");
    case 1: return QStringLiteral("Очередь коннектора переполнена.");
    case 2: return QStringLiteral("Соединение не установлено.");
    case 3: return QStringLiteral("Не удалось отправить данные.");
    case 4: return QStringLiteral("Ответ не получен.");
    case 5: return QStringLiteral("Истекло время ожидания при отправке данных.");
    case 6: return QStringLiteral("Истекло время ожидания при получении данных.");
    case 7: return QStringLiteral("Соединение не активно.");
    default: return QStringLiteral("Неизвестная ошибка.");
  }
}
