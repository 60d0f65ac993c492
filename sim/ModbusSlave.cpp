#include "sim/ModbusSlave.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "core/RegisterMap.h"

namespace kpxsim {

namespace {
uint16_t Word(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

struct Parsed {
  uint8_t Function = 0;
  uint16_t Address = 0;
  uint16_t Count = 0;
  std::vector<uint16_t> Values;
  bool Complete = false;  // the PDU is long enough for its function
};

Parsed ParsePdu(std::span<const uint8_t> pdu) {
  Parsed p;
  if (pdu.empty()) return p;
  p.Function = pdu[0];
  if (pdu.size() < 5) return p;
  p.Address = Word(pdu, 1);
  if (p.Function == 3) {
    p.Count = Word(pdu, 3);
    p.Complete = true;
  } else if (p.Function == 6) {
    p.Count = 1;
    p.Values.push_back(Word(pdu, 3));
    p.Complete = true;
  } else if (p.Function == 16 && pdu.size() >= 6) {
    p.Count = Word(pdu, 3);
    const size_t bytes = pdu[5];
    p.Complete = bytes == 2u * p.Count && pdu.size() >= 6 + bytes;
    for (size_t i = 0; p.Complete && i < p.Count; ++i) p.Values.push_back(Word(pdu, 6 + 2 * i));
  }
  return p;
}

// The map check that libmodbus cannot make: the register file has a hole from 48 to 79.
bool OutsideMap(const Parsed& p) {
  const uint16_t maxCount = p.Function == 3 ? 125 : p.Function == 16 ? 123 : 1;
  const bool countOk = p.Count >= 1 && p.Count <= maxCount;
  return countOk && !Supply::InMap(p.Address, p.Count);
}

// A count no answer can carry. libmodbus refuses it too, but only after sleeping its response
// time-out, which would stall every link of the simulator.
bool CountRefused(const Parsed& p) {
  if (p.Function == 3) return p.Complete && (p.Count < 1 || p.Count > 125);
  if (p.Function == 16) return p.Count < 1 || p.Count > 123 || !p.Complete;
  return false;
}

bool WritesJump(const Parsed& p) {
  if (p.Function != 6 && p.Function != 16) return false;
  if (Reg::CMD < p.Address || Reg::CMD >= p.Address + p.Values.size()) return false;
  return p.Values[Reg::CMD - p.Address] == Reg::kCmdJumpBoot;
}
}  // namespace

ModbusSlave::ModbusSlave(Supply& supply, Trace& trace, uint8_t address)
    : supply_(supply), trace_(trace), address_(address) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair_) != 0) return;
  ::fcntl(pair_[1], F_SETFL, O_NONBLOCK);
  // Neither context opens anything: both only frame answers into the socket pair.
  rtu_ = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
  tcp_ = modbus_new_tcp("127.0.0.1", 0);
  if (!rtu_ || !tcp_) return;
  modbus_set_slave(rtu_, address_);
  modbus_set_socket(rtu_, pair_[0]);
  modbus_set_socket(tcp_, pair_[0]);
  mapping_.nb_registers = Supply::kRegisterCount;
  mapping_.start_registers = 0;
  mapping_.tab_registers = supply_.Registers();
}

ModbusSlave::~ModbusSlave() {
  // The contexts must not close the socket pair themselves.
  for (modbus_t* ctx : {rtu_, tcp_}) {
    if (!ctx) continue;
    modbus_set_socket(ctx, -1);
    modbus_free(ctx);
  }
  for (int fd : pair_)
    if (fd >= 0) ::close(fd);
}

std::vector<uint8_t> ModbusSlave::Collect() {
  std::vector<uint8_t> out;
  uint8_t buf[512];
  ssize_t n;
  while ((n = ::read(pair_[1], buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
  return out;
}

ModbusAnswer ModbusSlave::Handle(Link link, std::span<const uint8_t> adu) {
  const size_t header = link == Link::Rtu ? 1 : 7;
  const size_t trailer = link == Link::Rtu ? 2 : 0;
  ModbusAnswer answer;
  if (adu.size() < header + trailer + 1) return answer;
  const uint8_t unit = adu[header - 1];
  const Parsed req = ParsePdu(adu.subspan(header, adu.size() - header - trailer));

  JsonObject reqFields;
  reqFields.Add("link", link == Link::Rtu ? "rtu" : "tcp").Add("slave", unsigned{unit});
  reqFields.Add("fc", unsigned{req.Function});
  if (req.Complete) {
    reqFields.Add("addr", unsigned{req.Address}).Add("count", unsigned{req.Count});
    if (req.Function != 3) reqFields.Add("values", std::span<const uint16_t>(req.Values));
  }
  trace_.Write("req", reqFields);

  // On the serial line the supply hears everyone but answers only its own address.
  const bool broadcast = link == Link::Rtu && unit == 0;
  if (link == Link::Rtu && unit != address_ && !broadcast) return answer;

  // libmodbus trusts the lengths inside a request; a short one must not make it read beyond.
  std::array<uint8_t, MODBUS_MAX_ADU_LENGTH> request{};
  std::copy_n(adu.begin(), std::min(adu.size(), request.size()), request.begin());
  modbus_t* ctx = link == Link::Rtu ? rtu_ : tcp_;
  const bool known = req.Function == 3 || req.Function == 6 || req.Function == 16;
  int exception = 0;
  if (!known)
    exception = MODBUS_EXCEPTION_ILLEGAL_FUNCTION;
  else if (CountRefused(req))
    exception = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
  else if (req.Complete && OutsideMap(req))
    exception = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;

  if (exception) {
    modbus_reply_exception(ctx, request.data(), exception);
  } else {
    if (req.Complete && WritesJump(req)) {
      // The firmware leaves for its bootloader without answering.
      answer.JumpToBootloader = true;
      return answer;
    }
    modbus_reply(ctx, request.data(), static_cast<int>(std::min(adu.size(), request.size())), &mapping_);
  }
  std::vector<uint8_t> bytes = Collect();
  const bool refused = bytes.size() > header && (bytes[header] & 0x80);
  if (!exception && !refused && req.Complete && req.Function != 3)
    supply_.Written(req.Address, req.Count);
  if (broadcast || bytes.size() < header + trailer + 2) return answer;

  const std::span<const uint8_t> pdu(bytes.data() + header, bytes.size() - header - trailer);
  answer.Fields.Add("link", link == Link::Rtu ? "rtu" : "tcp").Add("slave", unsigned{unit});
  answer.Fields.Add("fc", unsigned{pdu[0]});
  if (pdu[0] & 0x80) {
    answer.Fields.Add("exc", unsigned{pdu[1]});
  } else {
    answer.Fields.Add("addr", unsigned{req.Address}).Add("count", unsigned{req.Count});
    if (pdu[0] == 3) {
      std::vector<uint16_t> values;
      for (size_t i = 2; i + 1 < pdu.size() && values.size() < pdu[1] / 2u; i += 2)
        values.push_back(Word(pdu, i));
      answer.Fields.Add("values", std::span<const uint16_t>(values));
    }
  }
  answer.Bytes = std::move(bytes);
  return answer;
}

}  // namespace kpxsim
