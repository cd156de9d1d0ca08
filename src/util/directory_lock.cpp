#include "util/directory_lock.h"

#include "util/text_encoding.h"

namespace ardel {

std::string TDirectoryLock::RefusalText() const {
  if (*strange_ != '\0') {
    return "The program directory " + LocaleToUtf8(directory_) + " cannot be locked: " +
           LocaleToUtf8(directory_ + kFileName) + " is " + strange_ +
           "; remove it, or start Ardel on another directory.";
  }
  std::string text = "The program directory " + LocaleToUtf8(directory_) + " is in use by another Ardel";
  if (holder_ > 0) text += " (process " + std::to_string(holder_) + ")";
  return text + "; only one Ardel at a time may keep its files there.";
}

}  // namespace ardel
