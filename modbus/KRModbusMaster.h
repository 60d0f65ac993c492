#pragma once
// The Modbus client: each request is checked, framed (RTU, TCP or ASCII) and queued on the
// attached connector as one exchange; the answer is checked and decoded on the GUI thread and
// handed to the caller's callback. Asynchronous only: outcomes never come as return values.

#include "modbus/KRConnector.h"
#include "modbus/KRModbus.h"
#include "modbus/KRRuntimeErrors.h"
#include "modbus/KRTypes.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

class TKRModbusMaster;

// Protocol state kept between requests.
class TKRMB_Helper {
 public:
  explicit TKRMB_Helper(TKRModbusMaster* AModbus) : FModbus(AModbus) {}
  uint8_t F_ID = 0;      // next TCP transaction byte
  bool FCheckID = true;  // send and compare the transaction byte
  TKRModbusMaster* FModbus;
};

class TKRModbusMaster : public QObject {
 public:
  explicit TKRModbusMaster(QObject* AOwner = nullptr);
  ~TKRModbusMaster() override;

  QString Name() const { return objectName(); }
  void SetName(const QString& AName) { setObjectName(AName); }

  // Not owned. Assigning another connector deactivates the old and the new one; a destroyed
  // connector leaves the property empty.
  TKRConnector* Connector() const { return FConnector.data(); }
  void SetConnector(TKRConnector* Value);
  TKRRuntimeErrorEv OnRuntimeError() const { return FRuntimeErrorEv.Get(); }
  void SetOnRuntimeError(TKRRuntimeErrorEv Value) { FRuntimeErrorEv.Set(std::move(Value)); }
  uint32_t WaitTime() const { return 0; }
  void SetWaitTime(uint32_t) {}
  uint32_t WaitPauseTime() const { return 0; }
  void SetWaitPauseTime(uint32_t) {}
  bool CheckID() const { return FHelper->FCheckID; }
  void SetCheckID(bool Value) { FHelper->FCheckID = Value; }
  bool Active() const { return FConnector && FConnector->Active(); }
  void SetActive(bool Value);
  int32_t QueueCount() const { return 0; }

  // Requests. ACallBack(AError, AData): 0 and the decoded answer (a TKRBytes for 1, 2 and user
  // functions, a TKRRegisters for 3, 4 and an RTU 6, a uint8_t for 7, else null), valid during
  // the call only; or a code and null. -1, -11 and -8 come before the operation returns; -7
  // when the request does not fit a frame.
  void ReadReadCoils(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                     TMBMCallBack ACallBack);
  void ReadDiscretInputs(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput, uint16_t ACount,
                         TMBMCallBack ACallBack);
  void ReadHoldingRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg, uint16_t ACount,
                            TMBMCallBack ACallBack);
  void ReadInputRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg, uint16_t ACount,
                          TMBMCallBack ACallBack);
  void WriteCoil(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                 TMBMCallBack ACallBack);
  void WriteHoldingRegister(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg, uint16_t AData,
                            TMBMCallBack ACallBack);
  void ReadStatus(TMBType AMBType, uint8_t AAddres, TMBMCallBack ACallBack);
  void WriteCoils(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                  const TKRBytes& AData, TMBMCallBack ACallBack);
  void WriteHoldingRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                             const TKRRegisters& AData, TMBMCallBack ACallBack);
  void UserFunction(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, const uint8_t* AData,
                    int32_t ADataLen, TMBMCallBack ACallBack);
  // A ready-made frame of APkLen bytes; the answer is expected to be ARecvLen bytes long.
  void SendPack(TMBType AMBType, uint8_t AFunc, const TKRBuffer& APPack, uint8_t APkLen,
                TMBMCallBack ACallBack, uint8_t ARecvLen);

  static QString ErrorMsg(int32_t AError, QString& ALevel) {
    return KRModbusErrorMsg(AError, ALevel);
  }

  // Reports an exception being handled with this master's name; call inside a catch block.
  void ReportCurrent(const char* AProcedure);

 private:
  void Submit(TMBPack&& APack);
  void SubmitRead(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, uint16_t AStart, uint16_t ACount,
                  TMBMCallBack ACallBack);
  bool CheckReady(const TMBMCallBack& ACallBack);
  void Dispatch(TMBPack&& APack);
  void _CallBack(int32_t AError, PKRBuffer APack, int32_t ALength, TKRPackToken* AData);

  QPointer<TKRConnector> FConnector;
  std::unique_ptr<TKRMB_Helper> FHelper;
  TKRRuntimeErrorHandler FRuntimeErrorEv;
};
