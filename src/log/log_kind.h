#pragma once
// What a link log line is: each writer names it, so a capture can be read without the
// colours (lime stands for both raw bytes and the tick's "ok" lines).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ardel {

enum TLogKind : std::uint8_t { lkRx, lkTx, lkError, lkRaw, lkOk, lkRepeat, lkRule, lkInfo };

// The kind's word in a capture line: "rx", "tx", "error", "raw", "ok", "repeat",
// "rule", "info".
std::string_view LogKindName(TLogKind kind);
std::optional<TLogKind> LogKindFromName(std::string_view name);

// A capture line begins with its time, "2026-12-09T02:41:21.123", and a tab.
constexpr std::size_t kCaptureTimeLength = 23;

}  // namespace ardel
