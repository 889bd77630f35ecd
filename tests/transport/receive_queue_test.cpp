// The receive queue keeps bytes in order across appends, partial takes and its compaction.
#include "transport/receive_queue.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

namespace sd::transport {
namespace {

TEST(ReceiveQueue, KeepsOrderThroughAnyMixOfAppendsAndTakes) {
  ReceiveQueue queue;
  std::deque<std::uint8_t> expected;
  std::mt19937 random(12345);
  std::uint8_t next = 0;
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> chunk(random() % 3000);
    for (auto& byte : chunk) byte = next++;
    expected.insert(expected.end(), chunk.begin(), chunk.end());
    queue.Append(std::move(chunk));
    ASSERT_EQ(queue.Size(), expected.size());

    const std::size_t take = random() % (queue.Size() + 1);
    std::vector<std::uint8_t> taken = {0xEE};
    queue.Take(take, taken, true);
    ASSERT_EQ(taken.size(), take + 1);
    ASSERT_EQ(taken[0], 0xEE);
    for (std::size_t i = 0; i < take; ++i) {
      ASSERT_EQ(taken[i + 1], expected.front()) << "round " << round;
      expected.pop_front();
    }
  }
}

TEST(ReceiveQueue, TakingWithoutAppendOverwritesFromTheStartAndNeverShortens) {
  ReceiveQueue queue;
  queue.Append({1, 2, 3, 4, 5});
  std::vector<std::uint8_t> longer = {9, 9, 9, 9};
  queue.Take(2, longer, false);
  EXPECT_EQ(longer, (std::vector<std::uint8_t>{1, 2, 9, 9}));
  std::vector<std::uint8_t> shorter = {9};
  queue.Take(3, shorter, false);
  EXPECT_EQ(shorter, (std::vector<std::uint8_t>{3, 4, 5}));
  EXPECT_TRUE(queue.Empty());
  // Asking for more than is held takes what is there.
  queue.Append({6});
  std::vector<std::uint8_t> rest;
  queue.Take(10, rest, true);
  EXPECT_EQ(rest, (std::vector<std::uint8_t>{6}));
}

}  // namespace
}  // namespace sd::transport
