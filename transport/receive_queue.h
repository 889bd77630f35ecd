// The first-in first-out queue of bytes received on a connection and not yet taken by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "transport/socket_stack.h"

namespace sd::transport {

class ReceiveQueue {
 public:
  ReceiveQueue() = default;

  std::size_t Size() const { return bytes_.size() - head_; }
  bool Empty() const { return Size() == 0; }

  // Puts a received chunk at the tail; into an empty queue it moves without a copy.
  void Append(std::vector<std::uint8_t>&& chunk);
  // Removes `count` bytes (at most Size()) from the head. With `append` they follow the buffer's old
  // content; without, they are written from index 0, the buffer lengthened if shorter, never shortened.
  void Take(std::size_t count, std::vector<std::uint8_t>& buffer, bool append);

 private:
  static constexpr std::size_t kSlack = 2048;

  StackUser stack_;
  std::vector<std::uint8_t> bytes_;
  std::size_t head_ = 0;  // bytes before it are consumed
};

}  // namespace sd::transport
