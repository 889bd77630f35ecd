// The receive queue: appends at the tail, takes from the head, and keeps the consumed space before
// the head and the spare room after the tail within 2048 bytes each.
#include "transport/receive_queue.h"

#include <algorithm>
#include <utility>

namespace sd::transport {

void ReceiveQueue::Append(std::vector<std::uint8_t>&& chunk) {
  if (chunk.empty()) return;
  if (Empty()) {
    bytes_ = std::move(chunk);
    head_ = 0;
    return;
  }
  if (bytes_.size() + chunk.size() > bytes_.capacity()) {
    std::vector<std::uint8_t> grown;
    grown.reserve(Size() + chunk.size() + kSlack);
    grown.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(head_), bytes_.end());
    bytes_ = std::move(grown);
    head_ = 0;
  }
  bytes_.insert(bytes_.end(), chunk.begin(), chunk.end());
}

void ReceiveQueue::Take(std::size_t count, std::vector<std::uint8_t>& buffer, bool append) {
  count = std::min(count, Size());
  const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(head_);
  const auto last = first + static_cast<std::ptrdiff_t>(count);
  if (append) {
    buffer.insert(buffer.end(), first, last);
  } else {
    if (buffer.size() < count) buffer.resize(count);
    std::copy(first, last, buffer.begin());
  }
  head_ += count;
  if (Empty()) {
    bytes_.clear();
    head_ = 0;
  } else if (head_ > kSlack) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
    if (bytes_.capacity() > bytes_.size() + kSlack) {
      std::vector<std::uint8_t> trimmed;
      trimmed.reserve(bytes_.size() + kSlack);
      trimmed.assign(bytes_.begin(), bytes_.end());
      bytes_ = std::move(trimmed);
    }
  }
}

}  // namespace sd::transport
