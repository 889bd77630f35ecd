// Speed of the packet codec: frames built and decoded per second, and the CRC per byte, with the
// bit-by-bit CRC beside the table-driven one that the codec keeps.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "exchange/codec.h"

namespace {

using sd::exchange::Bytes;

std::uint16_t BitwiseCrc(std::span<const std::uint8_t> bytes) {
  unsigned crc = 0xFFFF;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc);
}

Bytes RandomBytes(std::size_t size) {
  std::mt19937 random(1);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

void BM_Crc16Table(benchmark::State& state) {
  const Bytes bytes = RandomBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(sd::exchange::Crc16(bytes));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Crc16Table)->Arg(15)->Arg(21)->Arg(4096);

void BM_Crc16BitLoop(benchmark::State& state) {
  const Bytes bytes = RandomBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(BitwiseCrc(bytes));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Crc16BitLoop)->Arg(15)->Arg(21)->Arg(4096);

void BM_BuildRequest(benchmark::State& state) {
  std::int32_t counter = 0;
  Bytes frame;
  for (auto _ : state) {
    sd::exchange::BuildRequest(sd::exchange::PacketType::kDiscount, 1, 1500, 15050, counter, frame);
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildRequest);

void BM_BuildCancelRequest(benchmark::State& state) {
  std::int32_t counter = 0;
  Bytes frame;
  for (auto _ : state) {
    sd::exchange::BuildCancelRequest(1, 1000, counter, 1234567890, frame);
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildCancelRequest);

void BM_DecodeReply(benchmark::State& state) {
  const Bytes reply = {0x01, 0x01, 0x00, 0x00, 0x00, 0x07, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00,
                       0x00, 0x25, 0x1C, 0x32, 0x12, 0x34, 0x56, 0x78, 0x90, 0xDE, 0x6E, 0xC0};
  for (auto _ : state) {
    const sd::exchange::DecodedReply result = sd::exchange::DecodeReply(reply);
    benchmark::DoNotOptimize(result.CardNumber);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeReply);

}  // namespace

BENCHMARK_MAIN();
