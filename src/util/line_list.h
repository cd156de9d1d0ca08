#pragma once
// A list of text lines that grows at its top (position 0, the newest line) and is
// taken from anywhere, in practice its bottom (the oldest line).

#include <cstddef>
#include <deque>
#include <string>

#include "util/observers.h"

namespace ardel {

class ILineListObserver {
 public:
  virtual ~ILineListObserver() = default;
  virtual void BeforeInsert(std::size_t index) = 0;
  virtual void AfterInsert() = 0;
  virtual void BeforeRemove(std::size_t index) = 0;
  virtual void AfterRemove() = 0;
};

class TLineList {
 public:
  void AddObserver(ILineListObserver* observer) { observers_.Add(observer); }
  void RemoveObserver(ILineListObserver* observer) { observers_.Remove(observer); }

  // Inserts at position 0.
  void InsertTop(std::string line);
  std::size_t Count() const { return lines_.size(); }
  // Position 0 is the top; Count() - 1 the bottom.
  const std::string& At(std::size_t index) const { return lines_[index]; }
  // A position that holds no line is ignored.
  void RemoveAt(std::size_t index);

 private:
  // Index i is position i: newest at the front, oldest at the back, both ends O(1).
  std::deque<std::string> lines_;
  TObservers<ILineListObserver> observers_;
};

}  // namespace ardel
