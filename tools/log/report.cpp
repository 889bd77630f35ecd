// Rows, details, summary and JSON of the grouped operations.
#include "tools/log/report.h"

#include <algorithm>
#include <map>

#include "exchange/codec.h"

namespace sd::logtool {
namespace {

std::string Field(const std::map<std::string, std::string>& fields, const char* key) {
  const auto it = fields.find(key);
  return it == fields.end() ? "" : it->second;
}

std::string WithoutLeadingZeros(const std::string& digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

// Characters, not bytes, so that Cyrillic text keeps the columns straight.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string OneLine(std::string text) {
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " ");
  return text;
}

// Checksum failures differ in their numbers and bytes; they are one kind of failure all the same.
std::string FailureGroup(const std::string& message) {
  static const std::string kChecksum = "Неверная контрольная сумма входящего пакета (";
  if (message.empty()) return "(no message)";
  const std::size_t at = message.find(kChecksum);
  return at == std::string::npos ? OneLine(message) : message.substr(0, at + kChecksum.size()) + "...)";
}

std::string When(const Operation& op) { return op.start.stamp.date + " " + op.start.stamp.time; }

std::string OutcomeText(const Operation& op) {
  std::string text = OutcomeName(op.outcome);
  // A done operation's disconnect often follows the next operation's first line; only an operation
  // that did not end well is worth the mark.
  if (op.late_lines > 0 && op.outcome != Outcome::Done) text += " (+" + std::to_string(op.late_lines) + " late)";
  if (!op.damage.empty() && op.outcome != Outcome::Damaged) text += " (damaged)";
  return text;
}

// The operator message, or for an operation whose log is damaged, what is missing.
std::string MessageText(const Operation& op) {
  if (op.damage.empty()) return OneLine(op.message);
  return op.message.empty() ? op.damage : OneLine(op.message) + "; " + op.damage;
}

int Seconds(std::int64_t hhmmss) {
  return static_cast<int>(hhmmss / 10000 * 3600 + hhmmss / 100 % 100 * 60 + hhmmss % 100);
}

// The amounts of a row: quantity and sum asked for, and what the success line says came of them.
std::string Amounts(const Operation& op) {
  std::string text;
  const std::string qty = Field(op.request, "Kolvo"), sum = Field(op.request, "Summa");
  if (!qty.empty()) text = qty + " x " + sum;
  const std::string paid = Field(op.result, "SummaSk"), discount = Field(op.result, "Skidka");
  if (!paid.empty() && op.kind != Kind::SaleCancel) text += " -> " + paid + " (-" + discount + "%)";
  return text;
}

std::string JsonText(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  std::size_t run = 0;  // the start of the characters that go out unchanged
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text, run, i - run);
    run = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: {
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
      }
    }
  }
  out.append(text, run, std::string::npos);
  return out += '"';
}

// A number of the log (with the user's decimal separator) as a JSON number, or as text when it is none.
std::string JsonNumber(std::string text) {
  std::replace(text.begin(), text.end(), ',', '.');
  std::size_t i = text.starts_with('-') ? 1 : 0;
  auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > from;
  };
  bool ok = digits();
  if (ok && i < text.size() && text[i] == '.') ok = (++i, digits());
  if (ok && i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    ok = digits();
  }
  return ok && i == text.size() ? text : JsonText(text);
}

std::string JsonFrame(const FrameFields& f) {
  if (!f.decoded)
    return "{\"decoded\":false,\"reason\":" + JsonText(f.reason) + ",\"bytes\":" + JsonText(exchange::HexDump(f.raw)) + "}";
  std::string o = "{\"decoded\":true,\"type\":" + std::to_string(f.type);
  if (f.request) {
    o += ",\"counter\":" + std::to_string(f.counter) + ",\"wallet\":" + std::to_string(f.wallet) +
         ",\"quantity\":" + Fixed(f.quantity, 3, true);
    o += f.type == 2 ? ",\"card\":" + JsonText(f.card) : ",\"unit_price\":" + Fixed(f.unit_price, 2, false);
  } else if (f.has_fields) {
    o += ",\"card\":" + JsonText(f.card) + ",\"discount\":" + Fixed(f.discount_tenths, 1, true) +
         ",\"discounted_price\":" + Fixed(f.discounted_price, 2, false) + ",\"approval\":" + std::to_string(f.approval);
  }
  return o + ",\"checksum_ok\":" + (f.checksum_ok ? "true" : "false") + "}";
}

}  // namespace

bool Passes(const Operation& op, const Filter& filter) {
  if (!filter.card.empty() && WithoutLeadingZeros(op.Card()) != WithoutLeadingZeros(filter.card)) return false;
  if (filter.wallet && op.Wallet() != filter.wallet) return false;
  const std::int64_t key = op.start.stamp.key;
  if (filter.since >= 0 && (key < 0 || key < filter.since)) return false;
  if (filter.until >= 0 && (key < 0 || key > filter.until)) return false;
  if (!filter.message.empty() && op.message.find(filter.message) == std::string::npos) return false;
  if (filter.at >= 0) {
    // Under way at that moment, or begun or ended within a minute of it.
    const int at = Seconds(filter.at), from = Seconds(key % 1000000);
    const int to = op.end_key < key ? from : from + Seconds(op.end_key % 1000000) - Seconds(key % 1000000) +
                                                  (op.end_key / 1000000 != key / 1000000 ? 86400 : 0);
    if (key < 0 || at < from - 60 || at > to + 60) return false;
  }
  return !filter.failed_only || op.outcome != Outcome::Done;
}

namespace {

// Rows in columns that start at the header's widths and widen when a wider value comes, so that nothing
// needs to be held back to measure the rest.
class RowPrinter : public Printer {
 public:
  explicit RowPrinter(std::ostream& out) : out_(out) {
    Row({"TIME", "KIND", "WALLET", "CARD", "AMOUNTS", "OUTCOME", "MESSAGE"});
  }
  void Print(const Operation& op) override {
    const auto wallet = op.Wallet();
    Row({When(op), KindName(op.kind), wallet ? std::to_string(*wallet) : "", op.Card(), Amounts(op), OutcomeText(op),
         MessageText(op)});
  }

 private:
  void Row(const std::vector<std::string>& row) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      width_[c] = std::max(width_[c], Width(row[c]));
      line += row[c] + (c + 1 < row.size() ? std::string(width_[c] - Width(row[c]) + 2, ' ') : "");
    }
    out_ << line.substr(0, line.find_last_not_of(' ') + 1) << "\n";
  }
  std::ostream& out_;
  std::size_t width_[7] = {19, 15, 6, 10, 26, 20, 0};
};

class DetailPrinter : public Printer {
 public:
  explicit DetailPrinter(std::ostream& out) : out_(out) {}
  void Print(const Operation& op) override {
    out_ << When(op) << "  " << KindName(op.kind) << "  " << OutcomeText(op);
    if (const std::string m = MessageText(op); !m.empty()) out_ << ": " << m;
    out_ << "   (" << op.start.source << ":" << op.start.line << ")\n";
    for (const Step& step : op.steps) {
      if (step.entry.text == " ") continue;
      out_ << "  " << step.entry.stamp.time << (step.late ? " late " : "  ") << OneLine(step.entry.text) << "\n";
      if (step.frame) out_ << "  " << std::string(Width(step.entry.stamp.time) + 2, ' ') << "= " << Describe(*step.frame) << "\n";
    }
    out_ << "\n";
  }
  void Outside(const Entry& e) override {
    out_ << "outside any operation (" << e.source << ":" << e.line << "): " << e.stamp.date << " " << e.stamp.time
         << " " << OneLine(e.text) << "\n\n";
  }

 private:
  std::ostream& out_;
};

class SummaryPrinter : public Printer {
 public:
  explicit SummaryPrinter(std::ostream& out) : out_(out) {}
  void Print(const Operation& op) override {
    ++total_;
    ++kinds_[static_cast<int>(op.kind)];
    ++outcomes_[static_cast<int>(op.outcome)];
    if (op.outcome != Outcome::Done) ++failures_[FailureGroup(op.message.empty() ? op.damage : op.message)];
    late_ += op.late_lines;
    damaged_ += op.damage.empty() ? 0 : 1;
  }
  void Outside(const Entry& e) override { strays_ += e.text != "Драйвер загружен" ? 1 : 0; }
  void Finish(std::size_t bad_lines) override {
    auto count = [&](const std::string& name, long n) {
      if (n > 0) out_ << "  " << name << std::string(18 - name.size(), ' ') << n << "\n";
    };
    out_ << total_ << " operations\nby kind:\n";
    for (int k = 0; k < kKinds; ++k) count(KindName(static_cast<Kind>(k)), kinds_[k]);
    out_ << "by outcome:\n";
    for (int o = 0; o < kOutcomes; ++o) count(OutcomeName(static_cast<Outcome>(o)), outcomes_[o]);
    if (!failures_.empty()) out_ << "failures by message:\n";
    for (const auto& [message, n] : failures_) out_ << "  " << n << "  " << message << "\n";
    out_ << "late lines: " << late_ << "\noperations with damaged or missing lines: " << damaged_
         << "\nlines outside any operation: " << strays_ << "\nbad lines: " << bad_lines << "\n";
  }

 private:
  std::ostream& out_;
  long total_ = 0, kinds_[kKinds] = {}, outcomes_[kOutcomes] = {}, late_ = 0, damaged_ = 0, strays_ = 0;
  std::map<std::string, long> failures_;
};

std::string JsonLine(const Operation& op) {
  const auto wallet = op.Wallet();
  const std::string iso = IsoTime(op.start.stamp.key);
  std::string o = "{\"time\":" + (iso.empty() ? "null" : JsonText(iso)) + ",\"log_time\":" + JsonText(When(op)) +
                  ",\"file\":" + JsonText(op.start.source) + ",\"line\":" + std::to_string(op.start.line) +
                  ",\"kind\":" + JsonText(KindName(op.kind)) + ",\"wallet\":" +
                  (wallet ? std::to_string(*wallet) : "null") + ",\"card\":" + JsonText(op.Card());
  static constexpr std::pair<const char*, const char*> kAmounts[] = {
      {"Kolvo", "quantity"}, {"Summa", "sum"}};
  for (const auto& [key, name] : kAmounts)
    if (auto v = Field(op.request, key); !v.empty()) o += std::string(",\"") + name + "\":" + JsonNumber(v);
  static constexpr std::pair<const char*, const char*> kResults[] = {
      {"SummaSk", "discounted_sum"}, {"CosteSk", "discounted_price"}, {"PriceSk", "discounted_price"},
      {"Skidka", "discount"}};
  for (const auto& [key, name] : kResults)
    if (auto v = Field(op.result, key); !v.empty()) o += std::string(",\"") + name + "\":" + JsonNumber(v);
  o += ",\"outcome\":" + JsonText(OutcomeName(op.outcome)) + ",\"message\":" + JsonText(op.message) +
       ",\"damaged\":" + (op.damage.empty() ? "false" : "true");
  if (!op.damage.empty()) o += ",\"damage\":" + JsonText(op.damage);
  o += ",\"late_lines\":" + std::to_string(op.late_lines);
  if (op.sent) o += ",\"request\":" + JsonFrame(*op.sent);
  if (op.received) o += ",\"reply\":" + JsonFrame(*op.received);
  o += ",\"lines\":[";
  for (std::size_t i = 0; i < op.steps.size(); ++i) {
    const Step& s = op.steps[i];
    o += std::string(i ? "," : "") + "{";
    if (s.entry.source != op.start.source) o += "\"file\":" + JsonText(s.entry.source) + ",";
    const std::string step_iso = IsoTime(s.entry.stamp.key);
    o += "\"line\":" + std::to_string(s.entry.line) + ",\"time\":" + (step_iso.empty() ? "null" : JsonText(step_iso)) +
         ",\"text\":" + JsonText(s.entry.text) + ",\"late\":" + (s.late ? "true" : "false") + "}";
  }
  return o + "]}";
}

class JsonPrinter : public Printer {
 public:
  explicit JsonPrinter(std::ostream& out) : out_(out) {}
  void Print(const Operation& op) override { out_ << JsonLine(op) << "\n"; }

 private:
  std::ostream& out_;
};

}  // namespace

std::unique_ptr<Printer> MakePrinter(Mode mode, std::ostream& out) {
  switch (mode) {
    case Mode::Details: return std::make_unique<DetailPrinter>(out);
    case Mode::Summary: return std::make_unique<SummaryPrinter>(out);
    case Mode::Json: return std::make_unique<JsonPrinter>(out);
    default: return std::make_unique<RowPrinter>(out);
  }
}

void PrintJson(std::ostream& out, const std::vector<const Operation*>& ops) {
  for (const Operation* op : ops) out << JsonLine(*op) << "\n";
}

void PrintBadLine(std::ostream& out, const BadLine& b) {
  out << "bad line " << b.source << ":" << b.line << ": " << b.reason << ": " << b.text << "\n";
}

}  // namespace sd::logtool
