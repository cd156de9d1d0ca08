#pragma once
// The fields of a telegram text ("AB B0 00000000 FFFFFF80 00") and of a command string
// read by column, as many characters of each as the text has: a short or oddly spaced
// text gives short or empty fields, never a failure.

#include <optional>
#include <string_view>

namespace ardel {

// Characters from..to (counting from 1) of a text, as many as exist.
constexpr std::string_view Chars(std::string_view text, std::size_t from, std::size_t to) {
  if (text.size() < from) return {};
  return text.substr(from - 1, to - from + 1);
}

// Views into the text they were read from.
struct TTelegramFields {
  std::string_view header;  // 1..2
  std::string_view org;     // 4..5
  std::string_view data;    // 7..14
  std::string_view id;      // 16..23
  std::string_view status;  // 25..26
};

TTelegramFields ReadTelegramFields(std::string_view text);

// Exactly the display form: hexadecimal digits with blanks at columns 3, 6, 15 and 24.
bool IsTelegramText(std::string_view text);

// A log line of a telegram, "<letter> <time stamp>   <telegram text>   <comment>": the 26
// characters after the first three blanks (the time stamp has single blanks only), or
// nothing when the line is too short to hold them.
std::optional<std::string_view> TelegramTextAfterStamp(std::string_view line);

// Whether a received telegram text completes a queued command string: the command's ID
// field (columns 16..23) equals the answer's, and an ACK completes on its ID alone. The
// queue tick and every reader of a capture judge an answer by this one test.
bool AnswerCompletes(std::string_view answerText, std::string_view commandString);

// A station's answer to "read INFI": its ID, the entry's index (-1 when the status is no
// hexadecimal number) and the entry.
struct TInfiAnswer {
  std::string_view id;
  int index = -1;
  std::string_view entry;
};
std::optional<TInfiAnswer> ReadInfiAnswer(std::string_view text);

// A station's answer to a change of its base ID: the old ID, the new one and the return code.
struct TBaseIdAnswer {
  std::string_view oldId;
  std::string_view newId;
  std::string_view status;
};
std::optional<TBaseIdAnswer> ReadBaseIdAnswer(std::string_view text);

}  // namespace ardel
