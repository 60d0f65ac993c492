#pragma once
// Modbus framing: the request record, the RTU, TCP and ASCII frame builders, the check and decode
// of an answer, and the texts of the engine's result codes.

#include "modbus/KRTypes.h"

#include <QString>

#include <cstdint>

// One request as the engine frames it. Fields an operation does not fill stay unused.
struct TMBPack {
  uint16_t Addres = 0;  // low byte goes on the wire
  TMBType MBType = mbtRTU;
  uint8_t MBFunc = 0;
  uint16_t Start = 0;
  uint16_t Count = 0;  // items; for a user function the number of data bytes
  TKRRegisters Data;   // function 6: one value; 16: all values
  TKRBytes DataBt;     // function 5: bit 0 of byte 0; 15: packed coils
  TMBMCallBack CallBack;
  const TKRBuffer* pBuf = nullptr;  // a ready-made frame (SendPack), copied when framed
  uint8_t bLen = 0;                 // its length; 0: not a ready-made frame
  uint8_t bRLen = 0;                // its expected answer length
  uint8_t id = 0;                   // TCP transaction byte sent with this request
  const uint8_t* uData = nullptr;   // data bytes of a user function, read when framed
};

// Frames APack into AFrame as AMBType; returns the frame length and sets ARecvLen to the length of
// a normal answer (0: open). Returns 0 for an unknown framing and for a request whose frame or
// answer would not fit: frames of more than 255 bytes (or characters), RTU and ASCII answers of
// more than 255, TCP answers of more than the 260 that the Modbus TCP header allows.
// The TCP transaction byte is left 0; the master stamps it.
uint8_t KRBuildFrame(const TMBPack& APack, TKRBuffer& AFrame, uint16_t& ARecvLen);

// Frame builders for callers that drive a connector themselves.
uint8_t ReadReadCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                          TKRBuffer& APPack, uint16_t& ARecvLen);
uint8_t ReadDiscretInputsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput,
                              uint16_t ACount, TKRBuffer& APPack, uint16_t& ARecvLen);
uint8_t ReadHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                 uint16_t ACount, TKRBuffer& APPack, uint16_t& ARecvLen);
uint8_t ReadInputRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                               uint16_t ACount, TKRBuffer& APPack, uint16_t& ARecvLen);
uint8_t ReadStatusPack(TMBType AMBType, uint8_t AAddres, TKRBuffer& APPack, uint16_t& ARecvLen);
uint8_t WriteCoilPack(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                      TKRBuffer& APPack, uint16_t& ARecvLen);
uint8_t WriteCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                       const TKRBytes& AData, TKRBuffer& APPack, uint16_t& ARecvLen);
uint8_t WriteHoldingRegisterPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                 uint16_t AData, TKRBuffer& APPack, uint16_t& ARecvLen);
// RTU and TCP only; 0 for ASCII.
uint8_t WriteHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                  const TKRRegisters& AData, TKRBuffer& APPack, uint16_t& ARecvLen);
uint8_t UserFunctionPack(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, const uint8_t* AData,
                         int32_t ADataLen, TKRBuffer& APPack);

// The decoded part of a normal answer. Data() is what the request's callback receives:
// a TKRBytes for functions 1, 2 and user functions, a TKRRegisters for 3, 4 and an RTU 6,
// a uint8_t for 7, null otherwise.
struct TMBAnswer {
  enum TKind : uint8_t { akNone, akBytes, akRegisters, akStatus };
  TKind Kind = akNone;
  TKRBytes Bytes;
  TKRRegisters Registers;
  uint8_t Status = 0;
  void* Data();
};

// Checks the AAnswerLen bytes of an answer to APack and decodes it into AAnswer. Returns 0, a
// device exception code, or -2 (transaction), -3 (too short for what it claims), -4 (checksum),
// -5 (function, or an exception answer with code 0).
int32_t KRCheckAnswer(const TMBPack& APack, bool ACheckID, const uint8_t* AAnswer,
                      int32_t AAnswerLen, TMBAnswer& ADecoded);

// Text of a result code; ALevel receives its category.
QString KRModbusErrorMsg(int32_t AError, QString& ALevel);
