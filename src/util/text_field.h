#pragma once
// One line of text that the logic reads and writes and a widget shows and edits.

#include <string>
#include <utility>

#include "util/observers.h"

namespace ardel {

class ITextFieldObserver {
 public:
  virtual ~ITextFieldObserver() = default;
  virtual void TextChanged() = 0;
};

class TTextField {
 public:
  explicit TTextField(std::string text = {}) : text_(std::move(text)) {}

  void AddObserver(ITextFieldObserver* observer) { observers_.Add(observer); }
  void RemoveObserver(ITextFieldObserver* observer) { observers_.Remove(observer); }

  const std::string& Text() const { return text_; }
  // Tells the observer only about a real change, as an edit field does.
  void SetText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    observers_.Notify([](ITextFieldObserver& o) { o.TextChanged(); });
  }

 private:
  std::string text_;
  TObservers<ITextFieldObserver> observers_;
};

}  // namespace ardel
