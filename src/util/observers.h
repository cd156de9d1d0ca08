#pragma once
// The observers of one model: any number, each added and removed by itself.

#include <algorithm>
#include <vector>

namespace ardel {

template <typename TObserver>
class TObservers {
 public:
  // Adding one twice keeps one.
  void Add(TObserver* observer) {
    if (observer != nullptr && std::find(list_.begin(), list_.end(), observer) == list_.end()) {
      list_.push_back(observer);
    }
  }
  // Removes only this one; the others stay.
  void Remove(TObserver* observer) { list_.erase(std::remove(list_.begin(), list_.end(), observer), list_.end()); }

  // By index, so an observer that adds another during the call does not invalidate it.
  template <typename F>
  void Notify(F&& call) const {
    for (std::size_t i = 0; i < list_.size(); ++i) call(*list_[i]);
  }

  std::size_t Count() const { return list_.size(); }

 private:
  std::vector<TObserver*> list_;
};

}  // namespace ardel
