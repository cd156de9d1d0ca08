#pragma once
// The one way out to the link: command strings become telegrams, are written and
// logged; received telegrams are acknowledged by the chosen policy.

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>
#include <array>

#include "link/telegram_log.h"
#include "link/receive_path.h"
#include "util/text_field.h"

namespace ardel {

enum TAckPolicy { apAlways, apRandomly, apNeverUponFirst, apNever };

class TTransmitPath {
 public:
  // Hands bytes to the serial port. Returns why they did not go out (the port is
  // closed, and in what state), or nothing when the port took them.
  using TWriter = std::function<std::string(std::string_view bytes)>;

  TTransmitPath(ITelegramLog& log, const TReceivePath& receive) : log_(log), receive_(receive) {}

  void SetWriter(TWriter writer) { writer_ = std::move(writer); }
  // Told of every telegram the writer took; nothing while unset.
  void SetTraffic(ILinkTraffic* traffic) { traffic_ = traffic; }

  // Throws EConvertError, before writing or logging anything, when a pair of the
  // body is not hexadecimal. The kind tells the traffic's listener what it was.
  void SendCommandString(std::string_view commandString, TSendKind kind = skCommand);
  // Acknowledges the telegram that the receive path has just completed.
  void SendAck();
  // Called by the receive path for each good telegram with an org byte below A0.
  void AckDecision(const TFrame& frame);

  TAckPolicy Policy() const { return policy_; }
  void SetPolicy(TAckPolicy policy) { policy_ = policy; }
  void Seed(std::uint32_t seed) { random_.seed(seed); }

  const TFrame& TransmitFrame() const { return transmitFrame_; }
  // Since the start: telegrams handed to the writer, the acknowledgements among them.
  std::uint64_t TelegramsSent() const { return telegramsSent_; }
  std::uint64_t AcksSent() const { return acksSent_; }

 private:
  ITelegramLog& log_;
  const TReceivePath& receive_;
  TWriter writer_;
  ILinkTraffic* traffic_ = nullptr;
  TAckPolicy policy_ = apAlways;
  std::mt19937 random_;
  TFrame transmitFrame_{};
  std::uint64_t telegramsSent_ = 0;
  std::uint64_t acksSent_ = 0;
};

// The editable command line of the tab "Test" with its list of earlier texts, and the
// three presets under "send".
class TManualSend {
 public:
  static constexpr const char* kInitialCommand =
      "AB B0 00000000 FFFFFF80 00   get SW Version of Station with default ID";
  static constexpr const char* kEmptyPreset = "[empty]";
  static constexpr int kPresetCount = 3;

  TManualSend();

  const std::vector<std::string>& List() const { return list_; }
  const std::string& Preset(int index) const { return presets_.at(static_cast<std::size_t>(index)).Text(); }
  void SetPreset(int index, std::string text) { presets_.at(static_cast<std::size_t>(index)).SetText(std::move(text)); }
  // The preset as the button's caption shows it.
  TTextField& PresetField(int index) { return presets_.at(static_cast<std::size_t>(index)); }

  // "send": the text keeps its place in the list unless the list already holds it.
  // Returns whether it was appended.
  bool Remember(const std::string& text);

  // The list as one comma-delimited text, entries quoted where they need it.
  std::string DelimitedText() const;

 private:
  std::vector<std::string> list_;
  std::array<TTextField, kPresetCount> presets_;
};

}  // namespace ardel
