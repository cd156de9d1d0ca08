#pragma once
// What the information field says about the commands that the tab "Stations" queued:
// a command dropped without an answer, how much of an input filter came back, and the
// offer to take a station's new base ID into the station table.
//
// The queue holds bare command strings, so the origin of each line is kept beside it
// here, following every insertion and removal of the command list.

#include <bitset>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stations/station_table.h"
#include "util/line_list.h"
#include "util/text_field.h"
#include "util/text_lines.h"
#include "util/value.h"

namespace ardel {

// A base ID that a station reported as set, not yet in the station table.
struct TSbiOffer {
  int station = 0;
  std::string oldSbi;
  std::string newSbi;
};

enum TRequestKind { rqCommand, rqReadInfi, rqChangeBaseId };

class TStationReports : private ILineListObserver {
 public:
  TStationReports(TLineList& commands, TTextLines& information, const TStationTable& table);
  ~TStationReports() override;
  TStationReports(const TStationReports&) = delete;
  TStationReports& operator=(const TStationReports&) = delete;

  // Every line that enqueue() puts into the command list belongs to one request of the
  // displayed station, named by the button's caption. "read INFI" is one request of
  // sixteen lines; the answer to a change of base ID offers the request's station.
  template <typename F>
  void Enqueue(std::string caption, int station, TRequestKind kind, F&& enqueue) {
    pending_ = std::make_shared<TRequest>();
    pending_->caption = std::move(caption);
    pending_->station = station;
    pending_->kind = kind;
    struct TDone {
      std::shared_ptr<TRequest>& pending;
      ~TDone() { pending.reset(); }
    } done{pending_};
    enqueue();
  }

  // The tick's outcomes: each telegram text as a run takes it from the answer list,
  // before anything is done with it; the command at this position about to be dropped
  // after its last transmission.
  void TelegramTaken(std::string_view telegramText);
  void TimedOut(std::size_t position);

  // Whether the take-over is offered, and the button's caption.
  TValue<bool>& OfferShown() { return offerShown_; }
  TTextField& OfferCaption() { return offerCaption_; }
  // The offer, once; none when there is none.
  std::optional<TSbiOffer> TakeOffer();

 private:
  struct TRequest {
    std::string caption;
    int station = 0;
    TRequestKind kind = rqCommand;
    std::string idText;  // of its first line
    int lines = 0;       // still in the queue
    std::bitset<16> entries;  // INFI entries that came back
  };
  struct TEntry {
    std::shared_ptr<TRequest> request;
    int index = 0;  // of the line within its request
  };

  void BeforeInsert(std::size_t index) override;
  void AfterInsert() override;
  void BeforeRemove(std::size_t index) override;
  void AfterRemove() override {}
  void Offer(std::optional<TSbiOffer> offer);

  TLineList& commands_;
  TTextLines& information_;
  const TStationTable& table_;
  std::shared_ptr<TRequest> pending_;
  // Position i is the command list's position i.
  std::deque<TEntry> entries_;
  // Requests with lines still in the queue.
  std::vector<std::shared_ptr<TRequest>> live_;
  std::optional<TSbiOffer> offer_;
  TValue<bool> offerShown_{false};
  TTextField offerCaption_;
};

}  // namespace ardel
