#pragma once
// One value that the logic reads and writes and a widget shows: a number, a switch.

#include <utility>

#include "util/observers.h"

namespace ardel {

class IValueObserver {
 public:
  virtual ~IValueObserver() = default;
  virtual void ValueChanged() = 0;
};

template <typename T>
class TValue {
 public:
  explicit TValue(T value = T{}) : value_(std::move(value)) {}

  void AddObserver(IValueObserver* observer) { observers_.Add(observer); }
  void RemoveObserver(IValueObserver* observer) { observers_.Remove(observer); }

  const T& Value() const { return value_; }
  // Tells the observers only about a real change.
  void Set(T value) {
    if (value == value_) return;
    value_ = std::move(value);
    observers_.Notify([](IValueObserver& o) { o.ValueChanged(); });
  }

 private:
  T value_;
  TObservers<IValueObserver> observers_;
};

}  // namespace ardel
