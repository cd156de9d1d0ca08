#include "log/overview_report.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "log/log_store.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;

void Append(std::string& out, const char* format, auto... values) {
  char text[160];
  const int n = std::snprintf(text, sizeof text, format, values...);
  if (n > 0) out.append(text, static_cast<std::size_t>(std::min<int>(n, sizeof text - 1)));
}

void Count(std::string& out, const char* name, std::uint64_t value) {
  Append(out, "\"%s\": %" PRIu64 ", ", name, value);
}

void Number(std::string& out, const char* name, double value) { Append(out, "\"%s\": %.2f", name, value); }

void Time(std::string& out, const char* name, const std::optional<TOverviewTime>& at) {
  if (at) {
    out += "\"" + std::string(name) + "\": \"" + CaptureTimeText(*at) + "\"";
  } else {
    out += "\"" + std::string(name) + "\": null";
  }
}

void RatesJson(std::string& out, const char* name, const TLinkRates& r) {
  out += "\"" + std::string(name) + "\": {";
  Number(out, "received_per_s", r.telegramsReceived);
  out += ", ";
  Number(out, "sent_per_s", r.telegramsSent);
  out += ", ";
  Number(out, "bytes_received_per_s", r.bytesReceived);
  out += ", ";
  Number(out, "bytes_sent_per_s", r.bytesSent);
  out += ", ";
  Number(out, "errors_per_s", r.errors);
  out += ", ";
  Number(out, "load_percent", r.loadPercent);
  out += "}";
}

void ResponseJson(std::string& out, const TResponseTimes& r) {
  out += "\"response_ms\": ";
  if (r.count == 0) {
    out += "{\"min\": null, \"median\": null, \"p95\": null, \"max\": null, \"count\": 0}";
    return;
  }
  Append(out, "{\"min\": %.1f, \"median\": %.1f, \"p95\": %.1f, \"max\": %.1f, \"last\": %.1f, \"count\": %zu}",
         r.minMs, r.medianMs, r.p95Ms, r.maxMs, r.lastMs, r.count);
}

}  // namespace

std::string OverviewJson(const TBusOverview& overview, const TStationBases& bases, TOverviewTime now) {
  const TLinkTotals& t = overview.Totals();
  std::string out;
  out.reserve(512);
  out += "{\"kind\": \"stats\", ";
  Time(out, "time", now);
  out += ", \"link\": {";
  Count(out, "received", t.telegramsReceived);
  Count(out, "sent", t.telegramsSent);
  Count(out, "checksum_errors", t.checksumErrors);
  Count(out, "dropped_bytes", t.droppedBytes);
  Number(out, "load_percent", overview.Rates(now, 10s).loadPercent);
  out += ", ";
  Count(out, "timeouts", t.timeouts);
  Count(out, "port_losses", t.portLosses);
  Count(out, "bytes_received", t.bytesReceived);
  Count(out, "bytes_sent", t.bytesSent);
  Append(out, "\"baud\": %u, \"rates\": {", static_cast<unsigned>(overview.Baud()));
  RatesJson(out, "10s", overview.Rates(now, 10s));
  out += ", ";
  RatesJson(out, "1min", overview.Rates(now, 1min));
  out += ", ";
  RatesJson(out, "10min", overview.Rates(now, 10min));
  out += "}}, \"ids\": [";
  bool first = true;
  for (const TIdRow& row : overview.Rows(bases)) {
    out += first ? "{" : ", {";
    first = false;
    if (row.other) {
      out += "\"id\": \"other\", \"station\": null, \"offset\": null, ";
    } else if (row.station >= 0) {
      Append(out, "\"id\": \"%08X\", \"station\": %d, \"offset\": %u, ", static_cast<unsigned>(row.id), row.station,
             static_cast<unsigned>(row.offset));
    } else {
      Append(out, "\"id\": \"%08X\", \"station\": null, \"offset\": null, ", static_cast<unsigned>(row.id));
    }
    Count(out, "received", row.received);
    Count(out, "sent", row.sent);
    Count(out, "repeats", row.repeats);
    Count(out, "completed", row.completed);
    Count(out, "timeouts", row.timeouts);
    Count(out, "acks", row.acks);
    Count(out, "checksum_errors_unsure", row.checksumErrorsUnsure);
    ResponseJson(out, row.response);
    out += ", ";
    Time(out, "first_seen", row.firstSeen);
    out += ", ";
    Time(out, "last_seen", row.lastSeen);
    out += ", \"kinds\": {";
    for (std::size_t i = 0; i < row.receivedByKind.size(); ++i) {
      const auto& [kind, count] = row.receivedByKind[i];
      if (i > 0) out += ", ";
      if (kind == TBusOverview::kOtherKinds) {
        Append(out, "\"other\": %" PRIu64, count);
      } else {
        Append(out, "\"%02X %02X\": %" PRIu64, kind >> 8, kind & 0xFF, count);
      }
    }
    out += "}}";
  }
  out += "]}\n";
  return out;
}

std::string OverviewTable(const TBusOverview& overview, const TStationBases& bases, TOverviewTime now) {
  const TLinkTotals& t = overview.Totals();
  const TLinkRates last10s = overview.Rates(now, 10s);
  std::string out;
  out += "bus overview at " + CaptureTimeText(now) + "\n";
  Append(out, "link: %" PRIu64 " received, %" PRIu64 " sent, %" PRIu64 " checksum errors, %" PRIu64
              " time-outs, %" PRIu64 " bytes dropped, %" PRIu64 " port losses\n",
         t.telegramsReceived, t.telegramsSent, t.checksumErrors, t.timeouts, t.droppedBytes, t.portLosses);
  Append(out, "last 10 s: %.1f received/s, %.1f sent/s, %.1f errors/s, load %.1f %% of %u baud\n",
         last10s.telegramsReceived, last10s.telegramsSent, last10s.errors, last10s.loadPercent,
         static_cast<unsigned>(overview.Baud()));
  Append(out, "%-8s %-3s %-3s %8s %8s %7s %9s %8s %8s %6s %9s %9s %9s %9s  %-23s\n", "id", "st", "of", "received",
         "sent", "repeats", "completed", "timeouts", "acks", "unsure", "resp min", "median", "p95", "max",
         "last seen");
  for (const TIdRow& row : overview.Rows(bases)) {
    if (row.other) {
      Append(out, "%-8s %-3s %-3s ", "other", "", "");
    } else if (row.station >= 0) {
      Append(out, "%08X %-3X %-3.2X ", static_cast<unsigned>(row.id), static_cast<unsigned>(row.station),
             static_cast<unsigned>(row.offset));
    } else {
      Append(out, "%08X %-3s %-3s ", static_cast<unsigned>(row.id), "-", "-");
    }
    Append(out, "%8" PRIu64 " %8" PRIu64 " %7" PRIu64 " %9" PRIu64 " %8" PRIu64 " %8" PRIu64 " %6" PRIu64 " ",
           row.received, row.sent, row.repeats, row.completed, row.timeouts, row.acks, row.checksumErrorsUnsure);
    if (row.response.count > 0) {
      Append(out, "%9.1f %9.1f %9.1f %9.1f  ", row.response.minMs, row.response.medianMs, row.response.p95Ms,
             row.response.maxMs);
    } else {
      Append(out, "%9s %9s %9s %9s  ", "-", "-", "-", "-");
    }
    out += row.lastSeen ? CaptureTimeText(*row.lastSeen) : std::string("-");
    out += "\n";
  }
  return out;
}

}  // namespace ardel
