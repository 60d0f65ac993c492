#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus/KRCRC.h"
#include "modbus/KRModbus.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(const TKRBuffer& buf, uint8_t len) { return Bytes(buf.begin(), buf.begin() + len); }

Bytes WithCRC(Bytes b) {
  const uint16_t crc = KRCRC16(b.data(), static_cast<int32_t>(b.size()));
  b.push_back(static_cast<uint8_t>(crc));
  b.push_back(static_cast<uint8_t>(crc >> 8));
  return b;
}

Bytes Chars(const std::string& s) { return Bytes(s.begin(), s.end()); }

TMBPack Req(TMBType type, uint8_t func, uint8_t id = 0) {
  TMBPack p;
  p.MBType = type;
  p.Addres = 1;
  p.MBFunc = func;
  p.id = id;
  return p;
}

int32_t Check(const TMBPack& p, const Bytes& answer, TMBAnswer& out, bool checkID = true) {
  return KRCheckAnswer(p, checkID, answer.data(), static_cast<int32_t>(answer.size()), out);
}

TEST(Checksums, KnownValues) {
  const std::string check = "123456789";
  EXPECT_EQ(KRCRC16(reinterpret_cast<const uint8_t*>(check.data()), 9), 0x4B37);
  const uint8_t empty[1] = {0};
  EXPECT_EQ(KRCRC16(empty, 0), 0xFFFF);
  const uint8_t pdu[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(KRLRC(pdu, 6), 0xFB);
  const uint8_t wrap[] = {0x80, 0x80};
  EXPECT_EQ(KRLRC(wrap, 2), 0x00);
}

TEST(Framing, RtuRequests) {
  TKRBuffer buf{};
  uint16_t rlen = 0;
  EXPECT_EQ(Frame(buf, ReadHoldingRegistersPack(mbtRTU, 1, 0, 1, buf, rlen)),
            (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
  EXPECT_EQ(rlen, 7);
  EXPECT_EQ(Frame(buf, WriteHoldingRegisterPack(mbtRTU, 1, 0, 500, buf, rlen)),
            (Bytes{0x01, 0x06, 0x00, 0x00, 0x01, 0xF4, 0x89, 0xDD}));
  EXPECT_EQ(rlen, 8);
  EXPECT_EQ(Frame(buf, WriteCoilPack(mbtRTU, 0x11, 0xAC, true, buf, rlen)),
            WithCRC({0x11, 0x05, 0x00, 0xAC, 0xFF, 0x00}));
  EXPECT_EQ(Frame(buf, WriteHoldingRegistersPack(mbtRTU, 1, 0x10, {0x0102, 0x0304}, buf, rlen)),
            WithCRC({0x01, 0x10, 0x00, 0x10, 0x00, 0x02, 0x04, 0x01, 0x02, 0x03, 0x04}));
  EXPECT_EQ(rlen, 8);
  EXPECT_EQ(Frame(buf, WriteCoilsPack(mbtRTU, 1, 0x13, 10, {0xCD, 0x01}, buf, rlen)),
            WithCRC({0x01, 0x0F, 0x00, 0x13, 0x00, 0x0A, 0x02, 0xCD, 0x01}));
  ReadReadCoilsPack(mbtRTU, 1, 0, 9, buf, rlen);
  EXPECT_EQ(rlen, 3 + 2 + 2);
  EXPECT_EQ(ReadStatusPack(mbtRTU, 1, buf, rlen), 4);
  EXPECT_EQ(rlen, 5);
  const uint8_t data[] = {0xAA, 0xBB};
  EXPECT_EQ(Frame(buf, UserFunctionPack(mbtRTU, 1, 0x41, data, 2, buf)),
            WithCRC({0x01, 0x41, 0xAA, 0xBB}));
}

TEST(Framing, TcpAndAsciiRequests) {
  TKRBuffer buf{};
  uint16_t rlen = 0;
  EXPECT_EQ(Frame(buf, ReadHoldingRegistersPack(mbtTCP, 1, 0, 2, buf, rlen)),
            (Bytes{0, 0, 0, 0, 0, 6, 0x01, 0x03, 0x00, 0x00, 0x00, 0x02}));
  EXPECT_EQ(rlen, 13);
  EXPECT_EQ(Frame(buf, ReadHoldingRegistersPack(mbtASCII, 1, 0, 1, buf, rlen)),
            Chars(":010300000001FB\r\n"));
  EXPECT_EQ(rlen, 15);
  EXPECT_EQ(WriteHoldingRegistersPack(mbtASCII, 1, 0, {1}, buf, rlen), 0);
  EXPECT_EQ(ReadHoldingRegistersPack(static_cast<TMBType>(3), 1, 0, 1, buf, rlen), 0);
}

TEST(Framing, RequestsThatDoNotFitTheirFraming) {
  TKRBuffer buf{};
  uint16_t rlen = 0;
  EXPECT_GT(ReadHoldingRegistersPack(mbtRTU, 1, 0, 125, buf, rlen), 0);  // 253 + 2
  EXPECT_EQ(rlen, 255);
  EXPECT_EQ(ReadHoldingRegistersPack(mbtRTU, 1, 0, 126, buf, rlen), 0);
  // Modbus TCP counts its answer in a 16-bit header field: 124 and 125 registers fit.
  EXPECT_GT(ReadHoldingRegistersPack(mbtTCP, 1, 0, 124, buf, rlen), 0);
  EXPECT_EQ(rlen, 257);
  EXPECT_GT(ReadHoldingRegistersPack(mbtTCP, 1, 0, 125, buf, rlen), 0);
  EXPECT_EQ(rlen, 259);
  EXPECT_EQ(ReadHoldingRegistersPack(mbtTCP, 1, 0, 126, buf, rlen), 0);
  EXPECT_EQ(WriteHoldingRegistersPack(mbtRTU, 1, 0, TKRRegisters(128, 0), buf, rlen), 0);
  EXPECT_EQ(WriteHoldingRegistersPack(mbtRTU, 1, 0, TKRRegisters(127, 0), buf, rlen), 0);
  EXPECT_GT(WriteHoldingRegistersPack(mbtRTU, 1, 0, TKRRegisters(120, 0), buf, rlen), 0);
}

TEST(Decoding, RegistersAndEcho) {
  TMBAnswer a;
  ASSERT_EQ(Check(Req(mbtRTU, 3), {0x01, 0x03, 0x02, 0x0B, 0xB8, 0xBF, 0x06}, a), 0);
  ASSERT_NE(a.Data(), nullptr);
  EXPECT_EQ(*static_cast<TKRRegisters*>(a.Data()), (TKRRegisters{3000}));

  ASSERT_EQ(Check(Req(mbtTCP, 3), {0, 0, 0, 0, 0, 5, 0x01, 0x03, 0x02, 0x0B, 0xB8}, a), 0);
  EXPECT_EQ(a.Registers, (TKRRegisters{3000}));

  ASSERT_EQ(Check(Req(mbtRTU, 6), WithCRC({0x01, 0x06, 0x00, 0x00, 0x01, 0xF4}), a), 0);
  EXPECT_EQ(*static_cast<TKRRegisters*>(a.Data()), (TKRRegisters{500}));
  ASSERT_EQ(Check(Req(mbtTCP, 6), {0, 0, 0, 0, 0, 6, 1, 6, 0, 0, 1, 0xF4}, a), 0);
  EXPECT_EQ(a.Data(), nullptr);

  // Byte count 0: one register of value 0, not a read past the answer.
  ASSERT_EQ(Check(Req(mbtRTU, 4), WithCRC({0x01, 0x04, 0x00}), a), 0);
  EXPECT_EQ(a.Registers, (TKRRegisters{0}));

  const Bytes ascii = Chars(":0103040001000AED\r\n");
  ASSERT_EQ(Check(Req(mbtASCII, 3), ascii, a), 0);
  EXPECT_EQ(a.Registers, (TKRRegisters{1, 10}));
}

TEST(Decoding, CoilsStatusAndUserFunctions) {
  TMBAnswer a;
  ASSERT_EQ(Check(Req(mbtRTU, 1), WithCRC({0x01, 0x01, 0x02, 0xCD, 0x6B}), a), 0);
  EXPECT_EQ(*static_cast<TKRBytes*>(a.Data()), (TKRBytes{0xCD, 0x6B}));
  ASSERT_EQ(Check(Req(mbtRTU, 7), WithCRC({0x01, 0x07, 0x6D}), a), 0);
  EXPECT_EQ(*static_cast<uint8_t*>(a.Data()), 0x6D);
  ASSERT_EQ(Check(Req(mbtRTU, 16), WithCRC({0x01, 0x10, 0x00, 0x01, 0x00, 0x02}), a), 0);
  EXPECT_EQ(a.Data(), nullptr);
  // RTU hands on the data with the CRC bytes behind them, TCP and ASCII the data alone.
  const Bytes rtuUser = WithCRC({0x01, 0x41, 0x11, 0x22});
  ASSERT_EQ(Check(Req(mbtRTU, 0x41), rtuUser, a), 0);
  EXPECT_EQ(a.Bytes, (TKRBytes{0x11, 0x22, rtuUser[4], rtuUser[5]}));
  ASSERT_EQ(Check(Req(mbtTCP, 0x41), {0, 0, 0, 0, 0, 4, 1, 0x41, 0x11, 0x22}, a), 0);
  EXPECT_EQ(a.Bytes, (TKRBytes{0x11, 0x22}));
  ASSERT_EQ(Check(Req(mbtASCII, 0x41), Chars(":014111228B\r\n"), a), 0);
  EXPECT_EQ(a.Bytes, (TKRBytes{0x11, 0x22}));
}

TEST(Decoding, ExceptionAnswers) {
  TMBAnswer a;
  EXPECT_EQ(Check(Req(mbtRTU, 3), {0x01, 0x83, 0x02, 0xC0, 0xF1}, a), 2);
  EXPECT_EQ(a.Data(), nullptr);
  EXPECT_EQ(Check(Req(mbtTCP, 6), {0, 0, 0, 0, 0, 3, 1, 0x86, 0x04}, a), 4);
  EXPECT_EQ(Check(Req(mbtASCII, 3), Chars(":01830379\r\n"), a), 3);
  EXPECT_EQ(Check(Req(mbtRTU, 3), WithCRC({0x01, 0x83, 0x00}), a), -5);  // not a success
}

TEST(Decoding, RejectedAnswers) {
  TMBAnswer a;
  // Correct CRC but the answer of another function.
  EXPECT_EQ(Check(Req(mbtRTU, 3), WithCRC({0x01, 0x04, 0x02, 0x0B, 0xB8}), a), -5);
  EXPECT_EQ(Check(Req(mbtRTU, 3), {0x01, 0x03, 0x02, 0x0B, 0xB9, 0xBF, 0x06}, a), -4);
  EXPECT_EQ(Check(Req(mbtRTU, 3), {0x01, 0x03, 0x02}, a), -4);
  EXPECT_EQ(Check(Req(mbtRTU, 3), {}, a), -4);
  // Transaction byte of another request; not compared when the check is off.
  EXPECT_EQ(Check(Req(mbtTCP, 3, 7), {6, 0, 0, 0, 0, 5, 1, 3, 2, 0, 1}, a), -2);
  EXPECT_EQ(Check(Req(mbtTCP, 3, 7), {6, 0, 0, 0, 0, 5, 1, 3, 2, 0, 1}, a, false), 0);
  // ASCII: a wrong sum, and lower-case digits, which are not digits of this framing.
  EXPECT_EQ(Check(Req(mbtASCII, 3), Chars(":0103040001000AEC\r\n"), a), -4);
  EXPECT_EQ(Check(Req(mbtASCII, 3), Chars(":0103040001000aed\r\n"), a), -4);
}

TEST(Decoding, AnswersShorterThanTheyClaim) {
  TMBAnswer a;
  // Byte count 20 but two data bytes: never decode what lies beyond the answer.
  EXPECT_EQ(Check(Req(mbtRTU, 3), WithCRC({0x01, 0x03, 0x14, 0x0B, 0xB8}), a), -3);
  EXPECT_TRUE(a.Registers.empty());
  EXPECT_EQ(Check(Req(mbtRTU, 1), WithCRC({0x01, 0x01, 0x03, 0xCD}), a), -3);
  EXPECT_EQ(Check(Req(mbtRTU, 3), WithCRC({0x01, 0x03}), a), -3);
  EXPECT_EQ(Check(Req(mbtRTU, 3), WithCRC({0x01, 0x83}), a), -3);
  EXPECT_EQ(Check(Req(mbtRTU, 6), WithCRC({0x01, 0x06, 0x00, 0x00}), a), -3);
  EXPECT_EQ(Check(Req(mbtTCP, 3), {0, 0, 0, 0, 0, 2, 1}, a), -3);
  EXPECT_EQ(Check(Req(mbtTCP, 3), {0, 0, 0, 0, 0, 2, 1, 0x83}, a), -3);
  EXPECT_EQ(Check(Req(mbtTCP, 3), {0, 0, 0, 0, 0, 7, 1, 3, 4, 0, 1}, a), -3);
  EXPECT_EQ(Check(Req(mbtTCP, 3), {}, a, false), -3);
  EXPECT_EQ(Check(Req(mbtASCII, 3), Chars(":01FF\r\n"), a), -3);
  EXPECT_EQ(Check(Req(mbtASCII, 3), Chars(":010304000100F7\r\n"), a), -3);
}

TEST(ErrorTexts, CodesAndLevels) {
  QString level = "x";
  EXPECT_EQ(KRModbusErrorMsg(0, level), QString("Нет ошибок."));
  EXPECT_TRUE(level.isEmpty());
  EXPECT_EQ(KRModbusErrorMsg(2, level), QString("Некорректный адрес."));
  EXPECT_EQ(level, QString("Ошибка прибора"));
  EXPECT_EQ(KRModbusErrorMsg(8, level), QString("Ошибка четности памяти."));
  EXPECT_EQ(KRModbusErrorMsg(12, level), QString("Неизвестная ошибка."));
  EXPECT_EQ(level, QString("Ошибка прибора"));
  EXPECT_EQ(KRModbusErrorMsg(-3, level), QString("Неверная длинна пакета."));
  EXPECT_EQ(level, QString("Ошибка обработки данных"));
  EXPECT_EQ(KRModbusErrorMsg(-11, level), QString("Обработчик протокола Modbus выключен."));
  EXPECT_EQ(KRModbusErrorMsg(-12, level), QString("Modbus клиент выключен."));
  EXPECT_EQ(KRModbusErrorMsg(-50, level), QString());
  EXPECT_EQ(level, QString("Ошибка обработки данных"));
  EXPECT_EQ(KRModbusErrorMsg(-100, level), QString("Неизвестная ошибка."));
  EXPECT_TRUE(level.isEmpty());
  EXPECT_EQ(KRModbusErrorMsg(-104, level), QString("Ответ не получен."));
  EXPECT_EQ(level, QString("Ошибка передачи данных"));
  EXPECT_EQ(KRModbusErrorMsg(-101, level), QString("Очередь коннектора переполнена."));
  EXPECT_EQ(KRModbusErrorMsg(-107, level), QString("Соединение не активно."));
  EXPECT_EQ(KRModbusErrorMsg(-108, level), QString("Неизвестная ошибка."));
}

}  // namespace
