#include "modbus/KRModbusMaster.h"

namespace {

constexpr int32_t kQueueLimit = 255;

// A request on its way: travels with the connector's pack and is released with it.
struct TKRMBRequest : TKRPackToken {
  TMBPack Pack;
  QPointer<TKRModbusMaster> Master;

  // The transport gave up: the caller hears the connector's code itself.
  void TransportFailed(int32_t AError) override {
    if (!Pack.CallBack) return;
    try {
      Pack.CallBack(AError, nullptr);
    } catch (...) {
      if (Master) Master->ReportCurrent("] procedure _CallBack; ");
    }
  }
};

TMBPack Request(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, TMBMCallBack ACallBack) {
  TMBPack p;
  p.MBType = AMBType;
  p.Addres = AAddres;
  p.MBFunc = AFunc;
  p.CallBack = std::move(ACallBack);
  return p;
}

const char* BuilderProcedure(TMBType AType) {
  switch (AType) {
    case mbtTCP: return "] procedure DoTCP;";
    case mbtASCII: return "] procedure DoASCII;";
    default: return "] procedure DoRTU;";
  }
}

}  // namespace

TKRModbusMaster::TKRModbusMaster(QObject* AOwner)
    : QObject(AOwner), FHelper(std::make_unique<TKRMB_Helper>(this)) {}

TKRModbusMaster::~TKRModbusMaster() = default;

void TKRModbusMaster::SetConnector(TKRConnector* Value) {
  if (Value == FConnector) return;
  if (FConnector) FConnector->SetActive(false);
  FConnector = Value;
  if (FConnector) FConnector->SetActive(false);
}

void TKRModbusMaster::SetActive(bool Value) {
  if (FConnector) FConnector->SetActive(Value);
}

void TKRModbusMaster::ReportCurrent(const char* AProcedure) {
  FRuntimeErrorEv.ReportCurrent(
      this, KRRuntimeErrorText("TKRMBThread", "FModbus.Name", Name(), AProcedure));
}

bool TKRModbusMaster::CheckReady(const TMBMCallBack& ACallBack) {
  int32_t refusal = 0;
  if (!FConnector) refusal = -1;
  else if (!FConnector->Active()) refusal = -11;
  else if (FConnector->QueueCount() >= kQueueLimit) refusal = -8;
  if (refusal == 0) return true;
  if (ACallBack) ACallBack(refusal, nullptr);
  return false;
}

void TKRModbusMaster::Submit(TMBPack&& APack) {
  if (!CheckReady(APack.CallBack)) return;
  if (APack.MBType > mbtASCII) return;  // an unknown framing sends nothing
  Dispatch(std::move(APack));
}

void TKRModbusMaster::Dispatch(TMBPack&& APack) {
  const TMBType type = APack.MBType;
  try {
    auto request = std::make_unique<TKRMBRequest>();
    request->Pack = std::move(APack);
    request->Master = this;
    TMBPack& p = request->Pack;
    auto frame = std::make_unique<TKRBuffer>();
    uint16_t recvLen = 0;
    const uint8_t length = KRBuildFrame(p, *frame, recvLen);
    if (length == 0) {
      if (p.CallBack) p.CallBack(-7, nullptr);
      return;
    }
    if (type == mbtTCP && FHelper->FCheckID) {
      p.id = FHelper->F_ID++;
      (*frame)[0] = p.id;
    }
    // The pointers of the caller's data were only needed for framing.
    p.pBuf = nullptr;
    p.uData = nullptr;
    QPointer<TKRModbusMaster> self(this);
    const bool ascii = type == mbtASCII;
    FConnector->Send(
        std::move(frame), length,
        [self](int32_t AError, PKRBuffer APack, int32_t ALength, TKRPackToken* AData) {
          if (self) self->_CallBack(AError, APack, ALength, AData);
        },
        std::move(request), true, recvLen, ascii ? 0x0D0Au : 0u, ascii ? 2 : 0);
  } catch (...) {
    ReportCurrent(BuilderProcedure(type));
  }
}

void TKRModbusMaster::_CallBack(int32_t AError, PKRBuffer APack, int32_t ALength,
                                TKRPackToken* AData) {
  auto* request = static_cast<TKRMBRequest*>(AData);
  if (!request) return;
  const TMBPack& p = request->Pack;
  try {
    TMBAnswer answer;
    const int32_t result =
        AError != 0 ? -(100 + AError)
                    : KRCheckAnswer(p, FHelper->FCheckID, APack->data(), ALength, answer);
    if (p.CallBack) p.CallBack(result, result == 0 ? answer.Data() : nullptr);
  } catch (...) {
    ReportCurrent("] procedure _CallBack; ");
  }
}

// The four reads differ only by their function code.
void TKRModbusMaster::SubmitRead(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, uint16_t AStart,
                                 uint16_t ACount, TMBMCallBack ACallBack) {
  TMBPack p = Request(AMBType, AAddres, AFunc, std::move(ACallBack));
  p.Start = AStart;
  p.Count = ACount;
  Submit(std::move(p));
}

void TKRModbusMaster::ReadReadCoils(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil,
                                    uint16_t ACount, TMBMCallBack ACallBack) {
  SubmitRead(AMBType, AAddres, 1, AStartCoil, ACount, std::move(ACallBack));
}

void TKRModbusMaster::ReadDiscretInputs(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput,
                                        uint16_t ACount, TMBMCallBack ACallBack) {
  SubmitRead(AMBType, AAddres, 2, AStartInput, ACount, std::move(ACallBack));
}

void TKRModbusMaster::ReadHoldingRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                           uint16_t ACount, TMBMCallBack ACallBack) {
  SubmitRead(AMBType, AAddres, 3, AStartReg, ACount, std::move(ACallBack));
}

void TKRModbusMaster::ReadInputRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                         uint16_t ACount, TMBMCallBack ACallBack) {
  SubmitRead(AMBType, AAddres, 4, AStartReg, ACount, std::move(ACallBack));
}

void TKRModbusMaster::WriteCoil(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                                TMBMCallBack ACallBack) {
  TMBPack p = Request(AMBType, AAddres, 5, std::move(ACallBack));
  p.Start = ACoilNum;
  p.DataBt = {static_cast<uint8_t>(AData ? 1 : 0)};
  Submit(std::move(p));
}

void TKRModbusMaster::WriteHoldingRegister(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                           uint16_t AData, TMBMCallBack ACallBack) {
  TMBPack p = Request(AMBType, AAddres, 6, std::move(ACallBack));
  p.Start = AStartReg;
  p.Count = 1;
  p.Data = {AData};
  Submit(std::move(p));
}

void TKRModbusMaster::ReadStatus(TMBType AMBType, uint8_t AAddres, TMBMCallBack ACallBack) {
  Submit(Request(AMBType, AAddres, 7, std::move(ACallBack)));
}

void TKRModbusMaster::WriteCoils(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil,
                                 uint16_t ACount, const TKRBytes& AData, TMBMCallBack ACallBack) {
  TMBPack p = Request(AMBType, AAddres, 15, std::move(ACallBack));
  p.Start = AStartCoil;
  p.Count = ACount;
  p.DataBt = AData;
  Submit(std::move(p));
}

void TKRModbusMaster::WriteHoldingRegisters(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                            const TKRRegisters& AData, TMBMCallBack ACallBack) {
  TMBPack p = Request(AMBType, AAddres, 16, std::move(ACallBack));
  p.Start = AStartReg;
  p.Count = static_cast<uint16_t>(AData.size());
  p.Data = AData;
  Submit(std::move(p));
}

void TKRModbusMaster::UserFunction(TMBType AMBType, uint8_t AAddres, uint8_t AFunc,
                                   const uint8_t* AData, int32_t ADataLen,
                                   TMBMCallBack ACallBack) {
  TMBPack p = Request(AMBType, AAddres, AFunc, std::move(ACallBack));
  if (ADataLen < 0 || ADataLen > 255) {
    if (CheckReady(p.CallBack) && p.CallBack) p.CallBack(-7, nullptr);
    return;
  }
  p.Count = static_cast<uint16_t>(ADataLen);
  p.uData = AData;
  Submit(std::move(p));
}

void TKRModbusMaster::SendPack(TMBType AMBType, uint8_t AFunc, const TKRBuffer& APPack,
                               uint8_t APkLen, TMBMCallBack ACallBack, uint8_t ARecvLen) {
  TMBPack p = Request(AMBType, 0, AFunc, std::move(ACallBack));
  p.pBuf = &APPack;
  p.bLen = APkLen;
  p.bRLen = ARecvLen;
  Submit(std::move(p));
}
