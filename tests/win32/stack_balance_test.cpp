// The i386 stack balance of GeTDriver, the destructor and all 22 entries of the real DLL: each removes
// exactly its arguments' bytes and keeps EBX, ESI, EDI and EBP, whether the host takes a refusal through
// the SDK's helper as the C++ exception or catches the structured exception itself. Windows only: the
// stdcall contract is i386's.
//
// A call that raises never reaches its `ret`, so its bytes cannot be counted; what holds there is that the
// failure unwinds to the catching frame, whose own caller then finds its stack and registers intact.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <csetjmp>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "smartdriver/entries.h"
#include "smartdriver/refusal.h"
#include "support/driver_library.h"
#include "support/temp_drive.h"
#include "win32/measured_call.h"

namespace sd {
namespace {

using sd::testing::BareMeasuredCall;
using sd::testing::MeasuredCall;
using sd::testing::Measured;

// The stack image of an argument list, lowest address first.
struct Stack {
  std::vector<std::uint8_t> bytes;
  template <typename T>
  Stack& Put(const T& value) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    bytes.insert(bytes.end(), p, p + sizeof value);
    return *this;
  }
  Stack& Word(std::uint32_t value) { return Put(value); }
  Stack& Ptr(const void* p) { return Put(p); }
  Stack& Double(double d) { return Put(d); }
  Stack& Zeros(std::size_t n) {
    bytes.insert(bytes.end(), n, 0);
    return *this;
  }
};

// One call as a host makes it, and how the failure came back when it raised.
struct Call {
  const void* function;
  Stack stack;
  Measured inner{};
  bool raised = false;
  std::string message;
  int kind = 0;
};

// Catches the C++ exception that the SDK's helper makes of a refusal, as a C++ host does.
extern "C" void CatchCxx(Call* call) {
  try {
    CallEntry([&] { MeasuredCall(call->function, call->stack.bytes.data(), call->stack.bytes.size(), &call->inner); });
  } catch (const std::exception& e) {
    call->raised = true;
    call->message = e.what();
  }
}

// Catches the structured exception of a call made through the bare thunk: the handler jumps back here.
std::jmp_buf g_resume;
SdRefusal g_refusal;
LONG CALLBACK OnRefusal(EXCEPTION_POINTERS* info) {
  if (!sd_read_refusal(info->ExceptionRecord, &g_refusal)) return EXCEPTION_CONTINUE_SEARCH;
  std::longjmp(g_resume, 1);
}
extern "C" void CatchSeh(Call* call) {
  void* handler = ::AddVectoredExceptionHandler(1, OnRefusal);
  if (setjmp(g_resume) == 0) {
    BareMeasuredCall(call->function, call->stack.bytes.data(), call->stack.bytes.size(), &call->inner);
  } else {
    call->raised = true;
    call->message.assign(g_refusal.message, g_refusal.length);
    call->kind = g_refusal.kind;
  }
  ::RemoveVectoredExceptionHandler(handler);
}

// The SDK reads the exception record without a Windows header, through a head laid out alike.
static_assert(offsetof(SdExceptionRecordHead, code) == offsetof(EXCEPTION_RECORD, ExceptionCode));
static_assert(offsetof(SdExceptionRecordHead, argument_count) == offsetof(EXCEPTION_RECORD, NumberParameters));
static_assert(offsetof(SdExceptionRecordHead, arguments) == offsetof(EXCEPTION_RECORD, ExceptionInformation));
static_assert(sizeof(SdExceptionRecordHead) == sizeof(EXCEPTION_RECORD));

// A loopback port that was just free and that nobody listens on.
int DeadPort() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  ::closesocket(s);
  ::WSACleanup();
  return ntohs(address.sin_port);
}

struct Row {
  const char* name;
  int slot;  // -1 the destructor, -2 GeTDriver
  std::uint32_t bytes;
  bool raises;
};

class StackBalance : public ::testing::Test {
 protected:
  void SetUp() override {
    const int dead_port = DeadPort();
    drive_.MakeLogDir();
    drive_.WriteSettings("[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(dead_port) +
                         "\r\nPortbn=" + std::to_string(dead_port) + "\r\n");
    lib_ = std::make_unique<testing::DriverLibrary>();
    driver_ = lib_->GetDriver();
  }
  void TearDown() override {
    DestroyOf(driver_)(driver_);
    lib_.reset();
  }

  // The arguments of a row, result buffer and object included.
  Stack StackOf(const Row& row) {
    Stack s;
    void* self = driver_;
    switch (row.slot) {
      case -2: return s.Word(0);
      case kGetVersion: case kGetCardInfo: case kTerminalUnsupported: case kForwardDiscountOperation:
      case kCashlessSale: case kCashlessReturn: case kOperationUnsupported: case kBlankCardInfo:
      case kDiscountOperation:
        s.Ptr(result_);
        break;
      default: break;
    }
    s.Ptr(self);
    switch (row.slot) {
      case kNop5: return s.Word(1).Word(2).Word(3).Word(4);
      case kNop6: case kNop9: return s.Word(6);
      case kGetCardInfo: return s.Word(1);
      case kNop8: return s.Ptr(nullptr);
      case kTerminalUnsupported: return s.Ptr(nullptr).Ptr(nullptr).Word(1).Word(2).Word(3).Word(4).Word(5);
      case kForwardDiscountOperation: return s.Word('M').Word(1).Double(1).Double(10).Ptr(nullptr).Ptr(nullptr);
      case kCashlessSale: return s.Word(0).Word(1).Double(1).Double(10);
      case kNop13: return s.Word(1).Word(2).Word(3);
      case kCashlessReturn:
        return s.Word(0).Ptr(nullptr).Ptr(nullptr).Ptr(nullptr).Word(0xFFFFFFFF).Word(1).Double(1).Double(10).Word(0);
      case kNop16: return s.Word(1).Word(2);
      case kNop17: return s.Zeros(272);
      case kOperationUnsupported: return s.Word(1).Word(2).Word(3);
      case kBlankCardInfo: return s.Word(1).Word(2);
      case kDiscountOperation:
        return s.Word('M').Word(1).Double(1).Double(10).Ptr(nullptr).Ptr(nullptr).Ptr(nullptr);
      case kNop21: return s.Zeros(16);
      default: return s;
    }
  }
  const void* FunctionOf(const Row& row) {
    if (row.slot == -2) return reinterpret_cast<const void*>(lib_->GeTDriverAddress());
    if (row.slot == -1) return driver_->table[-1];
    return driver_->table[row.slot];
  }

  // Runs the row through `catcher` inside an outer measured call, and checks both levels.
  Call Run(const Row& row, void (*catcher)(Call*)) {
    Call call;
    call.function = FunctionOf(row);
    call.stack = StackOf(row);
    if (row.slot == -1) call.stack = Stack().Ptr(lib_->GetDriver());
    EXPECT_EQ(call.stack.bytes.size(), row.bytes) << row.name << ": the test's own stack image";
    Call* argument = &call;
    Measured outer{};
    MeasuredCall(reinterpret_cast<const void*>(catcher), &argument, sizeof argument, &outer);
    EXPECT_EQ(outer.Removed(), 0u) << row.name << ": the catching frame's caller lost its stack";
    EXPECT_TRUE(outer.KeptRegisters()) << row.name << ": the catching frame's caller lost its registers";
    EXPECT_EQ(call.raised, row.raises) << row.name << ": " << call.message;
    if (!call.raised) {
      EXPECT_EQ(call.inner.Removed(), row.bytes) << row.name;
      EXPECT_TRUE(call.inner.KeptRegisters()) << row.name;
    }
    if (row.slot == -2 && !call.raised) {
      auto* made = reinterpret_cast<TSmartDriver*>(call.inner.eax);
      DestroyOf(made)(made);
    }
    return call;
  }

  testing::TempDrive drive_;
  std::unique_ptr<testing::DriverLibrary> lib_;
  TSmartDriver* driver_ = nullptr;
  alignas(8) std::uint8_t result_[512] = {};
};

const Row kRows[] = {
    {"GeTDriver", -2, 4, false},       {"destructor", -1, 4, false},
    {"Abstract0", kAbstract0, 4, true}, {"GetVersion", kGetVersion, 8, false},
    {"Abstract2", kAbstract2, 4, true}, {"Abstract3", kAbstract3, 4, true},
    {"Abstract4", kAbstract4, 4, true}, {"Nop5", kNop5, 20, false},
    {"Nop6", kNop6, 8, false},          {"GetCardInfo", kGetCardInfo, 12, true},
    {"Nop8", kNop8, 8, false},          {"Nop9", kNop9, 8, false},
    {"TerminalUnsupported", kTerminalUnsupported, 36, true},
    {"ForwardDiscountOperation", kForwardDiscountOperation, 40, true},
    {"CashlessSale", kCashlessSale, 32, true},
    {"Nop13", kNop13, 16, false},       {"Nop14", kNop14, 4, false},
    {"CashlessReturn", kCashlessReturn, 52, true},
    {"Nop16", kNop16, 12, false},       {"Nop17", kNop17, 276, false},
    {"OperationUnsupported", kOperationUnsupported, 20, true},
    {"BlankCardInfo", kBlankCardInfo, 16, false},
    {"DiscountOperation", kDiscountOperation, 44, true},
    {"Nop21", kNop21, 20, false},
};

TEST_F(StackBalance, EveryEntryRemovesItsBytesAndKeepsTheRegistersOnBothWaysOut) {
  for (const Row& row : kRows) {
    const Call cxx = Run(row, CatchCxx);
    const Call seh = Run(row, CatchSeh);
    // The same refusal either way; the structured one says what kind it is.
    EXPECT_EQ(seh.message, cxx.message) << row.name;
    if (row.raises) {
      EXPECT_FALSE(cxx.message.empty()) << row.name;
      const bool abstract = row.slot == kAbstract0 || row.slot == kAbstract2 || row.slot == kAbstract3 ||
                            row.slot == kAbstract4;
      EXPECT_EQ(seh.kind, abstract ? SD_REFUSAL_ABSTRACT : SD_REFUSAL_GENERAL) << row.name;
    }
  }
}

// GeTDriver's failure (no log directory) is the input/output error on both ways out.
TEST_F(StackBalance, GeTDriverRefusalUnwindsCleanlyBothWays) {
  std::filesystem::remove_all(drive_.LogDir());
  const Row row{"GeTDriver without a log directory", -2, 4, true};
  const Call cxx = Run(row, CatchCxx);
  const Call seh = Run(row, CatchSeh);
  EXPECT_EQ(cxx.message, "I/O error 3");
  EXPECT_EQ(seh.message, "I/O error 3");
  EXPECT_EQ(seh.kind, SD_REFUSAL_IN_OUT);
}

}  // namespace
}  // namespace sd
