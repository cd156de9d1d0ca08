#pragma once
// What a link log line is: each writer names it, so a capture can be read without the
// colours (lime stands for both raw bytes and the tick's "ok" lines).

#include <cstdint>
#include <optional>
#include <string_view>

namespace ardel {

enum TLogKind : std::uint8_t { lkRx, lkTx, lkError, lkRaw, lkOk, lkRepeat, lkRule, lkInfo };

// The kind's word in a capture line: "rx", "tx", "error", "raw", "ok", "repeat",
// "rule", "info".
std::string_view LogKindName(TLogKind kind);
std::optional<TLogKind> LogKindFromName(std::string_view name);

}  // namespace ardel
