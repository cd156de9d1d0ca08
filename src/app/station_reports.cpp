#include "app/station_reports.h"

#include <algorithm>

#include "link/telegram.h"
#include "link/telegram_fields.h"
#include "stations/station_view.h"
#include "util/text_encoding.h"

namespace ardel {

TStationReports::TStationReports(TLineList& commands, TTextLines& information, const TStationTable& table)
    : commands_(commands), information_(information), table_(table), entries_(commands.Count()) {
  commands_.AddObserver(this);
}

TStationReports::~TStationReports() { commands_.RemoveObserver(this); }

void TStationReports::BeforeInsert(std::size_t index) {
  TEntry entry;
  if (pending_) {
    entry.request = pending_;
    entry.index = pending_->lines++;
    if (entry.index == 0) live_.push_back(pending_);
  }
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
}

void TStationReports::AfterInsert() {
  // The line is at the top now; its ID text is where the tick looks for it.
  const TEntry& entry = entries_.front();
  if (entry.request && entry.index == 0) entry.request->idText = std::string(ReadTelegramFields(commands_.At(0)).id);
}

void TStationReports::BeforeRemove(std::size_t index) {
  if (index >= entries_.size()) return;
  const std::shared_ptr<TRequest> request = std::move(entries_[index].request);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  if (!request || --request->lines > 0) return;
  live_.erase(std::remove(live_.begin(), live_.end(), request), live_.end());
  if (request->kind == rqReadInfi) {
    information_.Append(request->caption + " from " + Latin1ToUtf8(request->idText) + ": " +
                        std::to_string(request->entries.count()) + " of 16 entries came back");
  }
}

void TStationReports::TimedOut(std::size_t position) {
  if (position >= entries_.size() || !entries_[position].request) return;
  const TEntry& entry = entries_[position];
  std::string what = entry.request->caption;
  if (entry.request->kind == rqReadInfi) what += "[" + HexByte(static_cast<std::uint8_t>(entry.index)) + "]";
  const std::string id(ReadTelegramFields(commands_.At(position)).id);
  information_.Append(what + " to " + Latin1ToUtf8(id) + ": no answer after three transmissions, dropped");
}

void TStationReports::TelegramTaken(std::string_view t) {
  if (const auto infi = ReadInfiAnswer(t)) {
    if (infi->index < 0 || infi->index >= 16) return;
    for (const auto& request : live_) {
      if (request->kind == rqReadInfi && request->idText == infi->id) {
        request->entries.set(static_cast<std::size_t>(infi->index));
      }
    }
    return;
  }
  const auto answer = ReadBaseIdAnswer(t);
  if (!answer) return;
  const std::string_view id = answer->oldId;
  if (answer->status != "00") {
    Offer(std::nullopt);
    return;
  }
  // The station whose change of base ID waits for this answer; else the one that has the old
  // SBI in the table.
  std::optional<int> station;
  for (const auto& request : live_) {
    if (request->kind == rqChangeBaseId && request->idText == id) station = request->station;
  }
  if (!station) {
    if (const auto column = FindStationColumn(table_, id)) station = *column - 1;
  }
  if (!station) {
    Offer(std::nullopt);
    return;
  }
  Offer(TSbiOffer{*station, std::string(id), std::string(answer->newId)});
}

void TStationReports::Offer(std::optional<TSbiOffer> offer) {
  offer_ = std::move(offer);
  if (offer_) {
    offerCaption_.SetText("take " + Latin1ToUtf8(offer_->newSbi) + " as SBI of station " +
                          StationCaption(offer_->station));
  }
  offerShown_.Set(offer_.has_value());
}

std::optional<TSbiOffer> TStationReports::TakeOffer() {
  std::optional<TSbiOffer> offer = std::move(offer_);
  Offer(std::nullopt);
  return offer;
}

}  // namespace ardel
