#include "link/log_kind.h"

namespace ardel {
namespace {

constexpr std::string_view kNames[] = {"rx", "tx", "error", "raw", "ok", "repeat", "rule", "info"};

}  // namespace

std::string_view LogKindName(TLogKind kind) {
  return kind <= lkInfo ? kNames[kind] : kNames[lkInfo];
}

std::optional<TLogKind> LogKindFromName(std::string_view name) {
  // Every line of a search passes here: one comparison, picked by the first letter.
  if (name.empty()) return std::nullopt;
  TLogKind kind = lkInfo;
  switch (name[0]) {
    case 'r':
      kind = name.size() < 3 ? lkRx : name[2] == 'w' ? lkRaw : name[2] == 'p' ? lkRepeat : lkRule;
      break;
    case 't':
      kind = lkTx;
      break;
    case 'e':
      kind = lkError;
      break;
    case 'o':
      kind = lkOk;
      break;
    case 'i':
      kind = lkInfo;
      break;
    default:
      return std::nullopt;
  }
  if (kNames[kind] != name) return std::nullopt;
  return kind;
}

}  // namespace ardel
