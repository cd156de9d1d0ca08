#include "link/transmit_path.h"

namespace ardel {

void TTransmitPath::SendCommandString(std::string_view commandString, TSendKind kind) {
  const TParsedCommand parsed = ParseCommandString(commandString);
  if (parsed.kind == pkInvalid) {
    log_.LogTelegram(lkError, 'E', TTelegramBody{}, "no valid command string");
    return;
  }
  if (parsed.kind == pkConvertError) throw EConvertError(parsed.error);
  const TWireTelegram wire = EncodeTelegram(parsed.body);
  ++telegramsSent_;
  std::string notSent;
  if (writer_) notSent = writer_(std::string_view(reinterpret_cast<const char*>(wire.data()), wire.size()));
  log_.LogTelegram(lkTx, ' ', parsed.body, parsed.comment);
  if (notSent.empty() && traffic_ != nullptr) traffic_->TelegramSent(parsed.body, kind);
  // The green line alone would read as sent; the operator would suspect the station,
  // not the cable.
  if (!notSent.empty()) log_.AppendLine(lkError, "E " + log_.TimeStamp() + "   not sent: " + notSent);
}

void TTransmitPath::SendAck() {
  transmitFrame_ = receive_.ReceiveFrame();
  transmitFrame_[2] = 0xAB;
  transmitFrame_[3] = 0xAC;
  ++acksSent_;
  SendCommandString(FormatTelegramText(BodyOf(transmitFrame_)) + "   ", skAck);
}

void TTransmitPath::AckDecision(const TFrame& frame) {
  bool send = false;
  switch (policy_) {
    case apAlways:
      send = true;
      break;
    case apRandomly:
      send = (random_() & 1u) == 0;
      break;
    case apNeverUponFirst:
      send = frame[13] == receive_.LastGoodChecksum();
      break;
    case apNever:
      break;
  }
  if (send) SendAck();
}

TManualSend::TManualSend() : list_{kInitialCommand} {
  for (TTextField& preset : presets_) preset.SetText(kEmptyPreset);
}

namespace {

bool NeedsQuotes(const std::string& entry) {
  for (char c : entry) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || c == '"' || c == ',') return true;
  }
  return false;
}

}  // namespace

std::string TManualSend::DelimitedText() const {
  std::string out;
  for (std::size_t i = 0; i < list_.size(); ++i) {
    if (i > 0) out.push_back(',');
    const std::string& entry = list_[i];
    if (!NeedsQuotes(entry)) {
      out += entry;
      continue;
    }
    out.push_back('"');
    for (char c : entry) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    out.push_back('"');
  }
  return out;
}

bool TManualSend::Remember(const std::string& text) {
  if (!text.empty() && DelimitedText().find(text) != std::string::npos) return false;
  list_.push_back(text);
  return true;
}

}  // namespace ardel
