#include "modbus/KRModbus.h"

#include "modbus/KRCRC.h"
#include "modbus/KRConnectorLng.h"

#include <algorithm>

namespace {

constexpr int kMaxFrame = 255;  // frame and answer lengths are held in one byte
// A TCP answer's length is the header's 16-bit field: a 253-byte PDU after the 7-byte header.
constexpr int kMaxTcpAnswer = 260;

// Address, function and data: the part every framing carries.
struct TPdu {
  uint8_t Bytes[kMaxFrame];
  int Len = 0;
  bool Overflow = false;
  void Put(uint8_t b) {
    if (Len < kMaxFrame) Bytes[Len++] = b;
    else Overflow = true;
  }
  void PutWord(uint16_t w) {
    Put(static_cast<uint8_t>(w >> 8));
    Put(static_cast<uint8_t>(w));
  }
};

// Builds the PDU of APack; returns the length of a normal answer from the address byte to the
// last data byte (0 for a user function), or -1 when the request cannot be framed.
int BuildPdu(const TMBPack& APack, TPdu& APdu) {
  APdu.Put(static_cast<uint8_t>(APack.Addres));
  APdu.Put(APack.MBFunc);
  switch (APack.MBFunc) {
    case 1:
    case 2:
      APdu.PutWord(APack.Start);
      APdu.PutWord(APack.Count);
      return 3 + (APack.Count + 7) / 8;
    case 3:
    case 4:
      APdu.PutWord(APack.Start);
      APdu.PutWord(APack.Count);
      return 3 + 2 * APack.Count;
    case 5: {
      const bool on = !APack.DataBt.empty() && (APack.DataBt[0] & 1);
      APdu.PutWord(APack.Start);
      APdu.PutWord(on ? 0xFF00 : 0x0000);
      return 6;
    }
    case 6:
      if (APack.Data.empty()) return -1;
      APdu.PutWord(APack.Start);
      APdu.PutWord(APack.Data[0]);
      return 6;
    case 7:
      return 3;
    case 15:
      if (APack.DataBt.size() > 255) return -1;
      APdu.PutWord(APack.Start);
      APdu.PutWord(APack.Count);
      APdu.Put(static_cast<uint8_t>(APack.DataBt.size()));
      for (uint8_t b : APack.DataBt) APdu.Put(b);
      return 6;
    case 16:
      if (APack.Data.empty() || APack.Data.size() > 127) return -1;
      APdu.PutWord(APack.Start);
      APdu.PutWord(static_cast<uint16_t>(APack.Data.size()));
      APdu.Put(static_cast<uint8_t>(2 * APack.Data.size()));
      for (uint16_t w : APack.Data) APdu.PutWord(w);
      return 6;
    default:
      if (APack.Count > 0 && !APack.uData) return -1;
      for (int i = 0; i < APack.Count; ++i) APdu.Put(APack.uData[i]);
      return 0;
  }
}

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is not a digit of this framing
}

int HexPair(const uint8_t* p) {
  const int hi = HexValue(p[0]);
  const int lo = HexValue(p[1]);
  return hi < 0 || lo < 0 ? -1 : hi << 4 | lo;
}

uint8_t Fail(uint16_t& ARecvLen) {
  ARecvLen = 0;
  return 0;
}

}  // namespace

void* TMBAnswer::Data() {
  switch (Kind) {
    case akBytes: return &Bytes;
    case akRegisters: return &Registers;
    case akStatus: return &Status;
    case akNone: break;
  }
  return nullptr;
}

uint8_t KRBuildFrame(const TMBPack& APack, TKRBuffer& AFrame, uint16_t& ARecvLen) {
  if (APack.MBType > mbtASCII) return Fail(ARecvLen);
  if (APack.bLen != 0) {
    if (!APack.pBuf) return Fail(ARecvLen);
    AFrame = *APack.pBuf;
    ARecvLen = APack.bRLen;
    return APack.bLen;
  }
  TPdu pdu;
  const int expected = BuildPdu(APack, pdu);
  if (expected < 0 || pdu.Overflow) return Fail(ARecvLen);
  int frameLen = 0;
  int recvLen = 0;
  switch (APack.MBType) {
    case mbtRTU: {
      frameLen = pdu.Len + 2;
      if (frameLen > kMaxFrame) return Fail(ARecvLen);
      std::copy_n(pdu.Bytes, pdu.Len, AFrame.begin());
      const uint16_t crc = KRCRC16(pdu.Bytes, pdu.Len);
      AFrame[pdu.Len] = static_cast<uint8_t>(crc);
      AFrame[pdu.Len + 1] = static_cast<uint8_t>(crc >> 8);
      recvLen = expected ? expected + 2 : 0;
      break;
    }
    case mbtTCP:
      frameLen = pdu.Len + 6;
      if (frameLen > kMaxFrame) return Fail(ARecvLen);
      std::fill_n(AFrame.begin(), 5, 0);
      AFrame[5] = static_cast<uint8_t>(pdu.Len);
      std::copy_n(pdu.Bytes, pdu.Len, AFrame.begin() + 6);
      recvLen = expected ? expected + 6 : 0;
      break;
    case mbtASCII: {
      frameLen = 2 * pdu.Len + 5;
      if (frameLen > kMaxFrame) return Fail(ARecvLen);
      int pos = 0;
      AFrame[pos++] = ':';
      auto putHex = [&](uint8_t b) {
        AFrame[pos++] = static_cast<uint8_t>(kHex[b >> 4]);
        AFrame[pos++] = static_cast<uint8_t>(kHex[b & 0x0F]);
      };
      for (int i = 0; i < pdu.Len; ++i) putHex(pdu.Bytes[i]);
      putHex(KRLRC(pdu.Bytes, pdu.Len));
      AFrame[pos++] = 0x0D;
      AFrame[pos++] = 0x0A;
      recvLen = expected ? 2 * expected + 5 : 0;
      break;
    }
  }
  if (recvLen > (APack.MBType == mbtTCP ? kMaxTcpAnswer : kMaxFrame)) return Fail(ARecvLen);
  ARecvLen = static_cast<uint16_t>(recvLen);
  return static_cast<uint8_t>(frameLen);
}

namespace {

uint8_t Build(TMBPack&& APack, TKRBuffer& APPack, uint16_t& ARecvLen) {
  return KRBuildFrame(APack, APPack, ARecvLen);
}

TMBPack Request(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, uint16_t AStart = 0,
                uint16_t ACount = 0) {
  TMBPack p;
  p.MBType = AMBType;
  p.Addres = AAddres;
  p.MBFunc = AFunc;
  p.Start = AStart;
  p.Count = ACount;
  return p;
}

}  // namespace

uint8_t ReadReadCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                          TKRBuffer& APPack, uint16_t& ARecvLen) {
  return Build(Request(AMBType, AAddres, 1, AStartCoil, ACount), APPack, ARecvLen);
}

uint8_t ReadDiscretInputsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput,
                              uint16_t ACount, TKRBuffer& APPack, uint16_t& ARecvLen) {
  return Build(Request(AMBType, AAddres, 2, AStartInput, ACount), APPack, ARecvLen);
}

uint8_t ReadHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                 uint16_t ACount, TKRBuffer& APPack, uint16_t& ARecvLen) {
  return Build(Request(AMBType, AAddres, 3, AStartReg, ACount), APPack, ARecvLen);
}

uint8_t ReadInputRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                               uint16_t ACount, TKRBuffer& APPack, uint16_t& ARecvLen) {
  return Build(Request(AMBType, AAddres, 4, AStartReg, ACount), APPack, ARecvLen);
}

uint8_t ReadStatusPack(TMBType AMBType, uint8_t AAddres, TKRBuffer& APPack, uint16_t& ARecvLen) {
  return Build(Request(AMBType, AAddres, 7), APPack, ARecvLen);
}

uint8_t WriteCoilPack(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                      TKRBuffer& APPack, uint16_t& ARecvLen) {
  TMBPack p = Request(AMBType, AAddres, 5, ACoilNum);
  p.DataBt = {static_cast<uint8_t>(AData ? 1 : 0)};
  return Build(std::move(p), APPack, ARecvLen);
}

uint8_t WriteCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                       const TKRBytes& AData, TKRBuffer& APPack, uint16_t& ARecvLen) {
  TMBPack p = Request(AMBType, AAddres, 15, AStartCoil, ACount);
  p.DataBt = AData;
  return Build(std::move(p), APPack, ARecvLen);
}

uint8_t WriteHoldingRegisterPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                 uint16_t AData, TKRBuffer& APPack, uint16_t& ARecvLen) {
  TMBPack p = Request(AMBType, AAddres, 6, AStartReg, 1);
  p.Data = {AData};
  return Build(std::move(p), APPack, ARecvLen);
}

uint8_t WriteHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                  const TKRRegisters& AData, TKRBuffer& APPack,
                                  uint16_t& ARecvLen) {
  if (AMBType == mbtASCII) return Fail(ARecvLen);
  TMBPack p = Request(AMBType, AAddres, 16, AStartReg, static_cast<uint16_t>(AData.size()));
  p.Data = AData;
  return Build(std::move(p), APPack, ARecvLen);
}

uint8_t UserFunctionPack(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, const uint8_t* AData,
                         int32_t ADataLen, TKRBuffer& APPack) {
  if (ADataLen < 0 || ADataLen > kMaxFrame) return 0;
  TMBPack p = Request(AMBType, AAddres, AFunc, 0, static_cast<uint16_t>(ADataLen));
  p.uData = AData;
  uint16_t recvLen = 0;
  return Build(std::move(p), APPack, recvLen);
}

int32_t KRCheckAnswer(const TMBPack& APack, bool ACheckID, const uint8_t* AAnswer,
                      int32_t AAnswerLen, TMBAnswer& ADecoded) {
  ADecoded = TMBAnswer{};
  const int len = std::max<int32_t>(AAnswerLen, 0);
  // d[0] is the address byte, d[1] the function, data up to (not including) d[end].
  const uint8_t* d = AAnswer;
  int end = 0;
  uint8_t ascii[kMaxFrame];
  switch (APack.MBType) {
    case mbtRTU:
      if (len < 4) return -4;
      if (KRCRC16(AAnswer, len - 2) != (AAnswer[len - 2] | AAnswer[len - 1] << 8)) return -4;
      end = len - 2;
      break;
    case mbtTCP:
      if (ACheckID && (len < 1 || AAnswer[0] != APack.id)) return -2;
      if (len < 8) return -3;
      d = AAnswer + 6;
      end = len - 6;
      break;
    case mbtASCII: {
      // Pairs from character 1 up to the CR LF; the last pair is the LRC.
      const int pairs = std::min(std::max(len - 3, 0) / 2, kMaxFrame);
      uint8_t sum = 0;
      for (int i = 0; i < pairs; ++i) {
        const int v = HexPair(AAnswer + 1 + 2 * i);
        if (v < 0) return -4;
        ascii[i] = static_cast<uint8_t>(v);
        sum = static_cast<uint8_t>(sum + v);
      }
      if (sum != 0) return -4;
      if (pairs < 3) return -3;
      d = ascii;
      end = pairs - 1;
      break;
    }
    default:
      return 0;
  }
  const uint8_t func = d[1];
  if ((func & 0x7F) != APack.MBFunc) return -5;
  if (func & 0x80) {
    if (end < 3) return -3;
    // Exception code 0 would read as success without data.
    return d[2] != 0 ? d[2] : -5;
  }
  switch (APack.MBFunc) {
    case 1:
    case 2: {
      if (end < 3 || 3 + d[2] > end) return -3;
      ADecoded.Kind = TMBAnswer::akBytes;
      ADecoded.Bytes.assign(d + 3, d + 3 + d[2]);
      return 0;
    }
    case 3:
    case 4: {
      if (end < 3) return -3;
      const int n = d[2] / 2;
      if (3 + 2 * n > end) return -3;
      ADecoded.Kind = TMBAnswer::akRegisters;
      for (int i = 0; i < n; ++i)
        ADecoded.Registers.push_back(static_cast<uint16_t>(d[3 + 2 * i] << 8 | d[4 + 2 * i]));
      if (n == 0) ADecoded.Registers.push_back(0);
      return 0;
    }
    case 5:
    case 15:
    case 16:
      return 0;
    case 6:
      if (APack.MBType != mbtRTU) return 0;
      if (end < 6) return -3;
      ADecoded.Kind = TMBAnswer::akRegisters;
      ADecoded.Registers.push_back(static_cast<uint16_t>(d[4] << 8 | d[5]));
      return 0;
    case 7:
      if (end < 3) return -3;
      ADecoded.Kind = TMBAnswer::akStatus;
      ADecoded.Status = d[2];
      return 0;
    default:
      // A user function hands on everything after the function byte as it came: for RTU the
      // data and the CRC, for TCP the data, for ASCII the data pairs.
      ADecoded.Kind = TMBAnswer::akBytes;
      if (APack.MBType == mbtRTU) ADecoded.Bytes.assign(AAnswer + 2, AAnswer + len);
      else ADecoded.Bytes.assign(d + 2, d + end);
      return 0;
  }
}

QString KRModbusErrorMsg(int32_t AError, QString& ALevel) {
  ALevel.clear();
  if (AError == 0) return QStringLiteral("Нет ошибок.");
  if (AError > 0) {
    ALevel = QStringLiteral("Ошибка прибора");
    switch (AError) {
      case 1: return QStringLiteral("Недопустимый номер функции.");
      case 2: return QStringLiteral("Некорректный адрес.");
      case 3: return QStringLiteral("Некорректные данные.");
      case 4: return QStringLiteral("Отказ оборудования прибора.");
      case 5: return QStringLiteral("Данные не готовы.");
      case 6: return QStringLiteral("Система занята.");
      case 7: return QStringLiteral("Отрицательное квитирование.");
      case 8: return QStringLiteral("Ошибка четности памяти.");
      default: return QStringLiteral("Неизвестная ошибка.");
    }
  }
  if (AError == -100) return QStringLiteral("Неизвестная ошибка.");
  if (AError < -100) {
    ALevel = QStringLiteral("Ошибка передачи данных");
    return KRConnectorErrorMsg(-AError - 100);
  }
  ALevel = QStringLiteral("Ошибка обработки данных");
  switch (AError) {
    case -1: return QStringLiteral("Не подключен модуль передачи данных.");
    case -2: return QStringLiteral("Неверный идентификатор пакета.");
    case -3: return QStringLiteral("Неверная длинна пакета.");
    case -4: return QStringLiteral("Ошибка контрольной суммы.");
    case -5: return QStringLiteral("Неверный номер функции.");
    case -6: return QStringLiteral("Неверная длинна Modbus пакета.");
    case -7: return QStringLiteral("Неверная длинна данных.");
    case -8: return QStringLiteral("Очередь переполнена.");
    case -9: return QStringLiteral("Таймаут.");
    case -10: return QStringLiteral("Ошибка времени выполнения.");
    case -11: return QStringLiteral("Обработчик протокола Modbus выключен.");
    case -12: return QStringLiteral("Modbus клиент выключен.");
    default: return QString();
  }
}
