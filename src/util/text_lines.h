#pragma once
// A plain list of text lines that grows at its end: the INFI list and the information
// field. A view follows it through the observer and never copies it.

#include <cstddef>
#include <string>
#include <vector>

#include "util/observers.h"

namespace ardel {

class ITextLinesObserver {
 public:
  virtual ~ITextLinesObserver() = default;
  virtual void BeforeAppend(std::size_t index) = 0;
  virtual void AfterAppend() = 0;
  virtual void BeforeClear() = 0;
  virtual void AfterClear() = 0;
};

class TTextLines {
 public:
  void AddObserver(ITextLinesObserver* observer) { observers_.Add(observer); }
  void RemoveObserver(ITextLinesObserver* observer) { observers_.Remove(observer); }

  void Append(std::string line);
  void Clear();

  std::size_t Count() const { return lines_.size(); }
  const std::string& At(std::size_t index) const { return lines_[index]; }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  TObservers<ITextLinesObserver> observers_;
};

}  // namespace ardel
