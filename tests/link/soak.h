#pragma once
// A stream of sender telegrams with a share of its bytes replaced by noise, and what
// the receive path made of it. Used by a test and by a longer soak program.

#include <cstdint>
#include <random>
#include <string>

#include "log/link_log.h"
#include "link/receive_path.h"
#include "queue/queues.h"

namespace ardel::soak {

struct TResult {
  std::uint64_t sent = 0;
  std::uint64_t untouched = 0;          // telegrams whose bytes the noise left as they were
  std::uint64_t untouchedReceived = 0;  // of those, how many reached the answer list
  std::uint64_t received = 0;           // all answers, touched ones that still framed included
  std::uint64_t checksumErrors = 0;
};

// Feeds `count` telegrams in deliveries of random sizes; `noise` is the share of bytes
// replaced by another value. The answer list is emptied as the tick would, and the log
// is cleared now and then so that only the path itself is measured.
inline TResult Run(std::uint64_t count, double noise, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> deliverySize(1, 200);

  TLinkLog log([] { return std::chrono::system_clock::time_point{}; });
  TQueues queues;
  TReceivePath path(log, queues.Answers());
  TResult result;
  std::string delivery;
  std::vector<std::string> expected;  // texts of untouched telegrams in this delivery window
  std::size_t nextDelivery = static_cast<std::size_t>(deliverySize(random));

  auto drain = [&] {
    path.ComPort1ReceiveCallBack(delivery);
    delivery.clear();
    TLineList& answers = queues.Answers();
    std::size_t want = 0;
    // Answers come newest at the top; walk them oldest first against the expected texts.
    for (std::size_t i = answers.Count(); i-- > 0;) {
      const std::string& text = answers.At(i);
      ++result.received;
      if (want < expected.size() && text == expected[want]) {
        ++result.untouchedReceived;
        ++want;
      }
    }
    while (answers.Count() > 0) answers.RemoveAt(answers.Count() - 1);
    expected.erase(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(want));
    for (std::size_t i = 0; i < log.Count(); ++i) result.checksumErrors += log.Line(i).color == colors::kError;
    log.Clear();
  };

  for (std::uint64_t n = 0; n < count; ++n) {
    // IDs and data free of A5 and 5A, so only noise can fake a sync pair.
    const TTelegramBody body{0x6B, 0x05, static_cast<std::uint8_t>(0x10 + (n & 0x3F)), 0, 0, 0, 0xFF, 0xFF, 0xFF,
                             static_cast<std::uint8_t>(0x80 + (n % 32)), 0x30};
    const TWireTelegram wire = EncodeTelegram(body);
    bool touched = false;
    for (std::uint8_t b : wire) {
      std::uint8_t out = b;
      if (chance(random) < noise) out = static_cast<std::uint8_t>(byte(random));
      touched |= out != b;
      delivery.push_back(static_cast<char>(out));
    }
    ++result.sent;
    if (!touched) {
      ++result.untouched;
      expected.push_back(FormatTelegramText(body));
    }
    if (delivery.size() >= nextDelivery) {
      drain();
      nextDelivery = static_cast<std::size_t>(deliverySize(random));
    }
  }
  drain();
  return result;
}

}  // namespace ardel::soak
