#include <langinfo.h>

#include <climits>
#include <cstring>
#include <cwchar>

#include "util/text_encoding.h"

namespace ardel {

namespace {

// The C/POSIX locale knows ASCII only and says nothing about other bytes; file names
// and texts are then taken as UTF-8, as the desktop takes them.
bool IsPlainLocale() {
  const char* codeset = nl_langinfo(CODESET);
  return std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "ASCII") == 0;
}

}  // namespace

std::string LocaleToUtf8(std::string_view text) {
  // Every locale in use keeps ASCII as it is; most texts need no conversion at all.
  if (IsAscii(text) || (IsPlainLocale() && IsUtf8(text))) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  std::mbstate_t state{};
  std::size_t i = 0;
  while (i < text.size()) {
    wchar_t wide = 0;
    const std::size_t n = std::mbrtowc(&wide, text.data() + i, text.size() - i, &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
      AppendUtf8(out, 0xFFFD);
      state = std::mbstate_t{};
      ++i;
      continue;
    }
    AppendUtf8(out, static_cast<char32_t>(wide));
    i += n == 0 ? 1 : n;
  }
  return out;
}

std::string Utf8ToLocale(std::string_view text) {
  if (IsAscii(text) || IsPlainLocale()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    char32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    i += valid ? length : 1;
    const std::size_t n = valid ? std::wcrtomb(buffer, static_cast<wchar_t>(c), &state) : static_cast<std::size_t>(-1);
    if (n == static_cast<std::size_t>(-1)) {
      out += '?';
      state = std::mbstate_t{};
    } else {
      out.append(buffer, n);
    }
  }
  return out;
}

std::string SystemErrorText(int error) { return LocaleToUtf8(std::strerror(error)); }

}  // namespace ardel
