#include "log/log_kind.h"

namespace ardel {
namespace {

constexpr std::string_view kNames[] = {"rx", "tx", "error", "raw", "ok", "repeat", "rule", "info"};

}  // namespace

std::string_view LogKindName(TLogKind kind) {
  return kind <= lkInfo ? kNames[kind] : kNames[lkInfo];
}

std::optional<TLogKind> LogKindFromName(std::string_view name) {
  for (std::uint8_t k = 0; k <= lkInfo; ++k) {
    if (kNames[k] == name) return static_cast<TLogKind>(k);
  }
  return std::nullopt;
}

}  // namespace ardel
