// XMP sidecars: a single pass over the tags of the packet that keeps the namespace
// declarations in scope and offers the three date properties' values to the date reader.
#include "engine/xmp_date.h"

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace nandell {
namespace {

// The date properties in the order they are preferred: namespace and local name.
constexpr std::pair<std::string_view, std::string_view> kProperties[] = {
    {"http://ns.adobe.com/exif/1.0/", "DateTimeOriginal"},
    {"http://ns.adobe.com/xap/1.0/", "CreateDate"},
    {"http://ns.adobe.com/photoshop/1.0/", "DateCreated"},
};
constexpr int kPropertyCount = 3;

// The usual prefixes of those namespaces, for a file that uses one without declaring it.
constexpr std::pair<std::string_view, std::string_view> kUsualPrefixes[] = {
    {"exif", kProperties[0].first},
    {"xmp", kProperties[1].first},
    {"xap", kProperties[1].first},
    {"photoshop", kProperties[2].first},
};

// Bounds that keep a hostile packet's cost linear: namespaces in scope, and element levels.
constexpr size_t kMaxBindings = 256;
constexpr size_t kMaxDepth = 256;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

class XmpScan {
 public:
  XmpScan(std::string_view text, int64_t now) : text_(text), now_(now) {}

  std::optional<LocalTime> Run() {
    while (pos_ < text_.size() && !found_[0]) {
      const size_t open = text_.find('<', pos_);
      if (open == std::string_view::npos) break;
      OfferText(text_.substr(pos_, open - pos_));
      pos_ = open;
      if (!Markup()) break;
    }
    for (const std::optional<LocalTime>& date : found_) {
      if (date) return date;
    }
    return std::nullopt;
  }

 private:
  // One piece of markup at pos_; false when it is cut short or malformed.
  bool Markup() {
    const std::string_view rest = text_.substr(pos_);
    if (rest.starts_with("<!--")) return SkipPast("-->");
    if (rest.starts_with("<![CDATA[")) {
      const size_t end = text_.find("]]>", pos_);
      if (end == std::string_view::npos) return false;
      OfferText(text_.substr(pos_ + 9, end - pos_ - 9));
      pos_ = end + 3;
      return true;
    }
    if (rest.starts_with("<?")) return SkipPast("?>");
    if (rest.starts_with("<!")) return SkipPast(">");
    if (rest.starts_with("</")) {
      if (!SkipPast(">")) return false;
      if (!ranks_.empty()) {
        bindings_.resize(scopes_.back());
        scopes_.pop_back();
        ranks_.pop_back();
      }
      return true;
    }
    return StartTag();
  }

  bool SkipPast(std::string_view end) {
    const size_t at = text_.find(end, pos_);
    if (at == std::string_view::npos) return false;
    pos_ = at + end.size();
    return true;
  }

  // "<name attr='value' ...>" or ".../>": its namespaces come into scope, its date
  // attributes are offered, and an element that is a date property waits for its text.
  bool StartTag() {
    size_t at = pos_ + 1;
    const size_t name_start = at;
    while (at < text_.size() && !IsSpace(text_[at]) && text_[at] != '>' && text_[at] != '/') ++at;
    const std::string_view name = text_.substr(name_start, at - name_start);
    if (name.empty()) return false;
    attributes_.clear();
    const size_t scope = bindings_.size();
    bool empty_element = false;
    for (;;) {
      while (at < text_.size() && IsSpace(text_[at])) ++at;
      if (at >= text_.size()) return false;
      if (text_[at] == '>') break;
      if (text_[at] == '/') {
        if (at + 1 >= text_.size() || text_[at + 1] != '>') return false;
        empty_element = true;
        ++at;
        break;
      }
      const size_t key_start = at;
      while (at < text_.size() && !IsSpace(text_[at]) && text_[at] != '=' && text_[at] != '>' &&
             text_[at] != '/') {
        ++at;
      }
      const std::string_view key = text_.substr(key_start, at - key_start);
      while (at < text_.size() && IsSpace(text_[at])) ++at;
      if (key.empty() || at >= text_.size() || text_[at] != '=') return false;
      ++at;
      while (at < text_.size() && IsSpace(text_[at])) ++at;
      if (at >= text_.size() || (text_[at] != '"' && text_[at] != '\'')) return false;
      const size_t close = text_.find(text_[at], at + 1);
      if (close == std::string_view::npos) return false;
      const std::string_view value = text_.substr(at + 1, close - at - 1);
      at = close + 1;
      if (key == "xmlns" || key.starts_with("xmlns:")) {
        if (bindings_.size() < kMaxBindings) {
          bindings_.emplace_back(key.size() > 5 ? key.substr(6) : std::string_view(), value);
        }
      } else {
        attributes_.emplace_back(key, value);
      }
    }
    pos_ = at + 1;
    for (const auto& [key, value] : attributes_) {
      // An attribute without a prefix is in no namespace.
      if (key.find(':') == std::string_view::npos) continue;
      const int rank = Rank(key);
      if (rank >= 0 && !found_[rank]) found_[rank] = ParseXmpDate(value, now_);
    }
    if (empty_element) {
      bindings_.resize(scope);
      return true;
    }
    if (ranks_.size() >= kMaxDepth) return false;
    scopes_.push_back(scope);
    ranks_.push_back(Rank(name));
    return true;
  }

  // Which date property the qualified `name` is (0 preferred), or -1.
  int Rank(std::string_view name) const {
    const size_t colon = name.find(':');
    const std::string_view prefix =
        colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    const std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
    for (int rank = 0; rank < kPropertyCount; ++rank) {
      if (local == kProperties[rank].second && Namespace(prefix) == kProperties[rank].first) {
        return rank;
      }
    }
    return -1;
  }

  std::string_view Namespace(std::string_view prefix) const {
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
      if (it->first == prefix) return it->second;
    }
    for (const auto& [usual, uri] : kUsualPrefixes) {
      if (prefix == usual) return uri;
    }
    return std::string_view();
  }

  // Text inside the innermost open element: its value when that element is a date property.
  void OfferText(std::string_view text) {
    if (ranks_.empty() || ranks_.back() < 0 || found_[ranks_.back()]) return;
    found_[ranks_.back()] = ParseXmpDate(text, now_);
  }

  std::string_view text_;
  int64_t now_;
  size_t pos_ = 0;
  std::vector<std::pair<std::string_view, std::string_view>> bindings_;  // prefix, namespace
  std::vector<std::pair<std::string_view, std::string_view>> attributes_;
  std::vector<size_t> scopes_;  // bindings_ size before each open element's own
  std::vector<int> ranks_;      // the property each open element is, or -1
  std::optional<LocalTime> found_[kPropertyCount];
};

}  // namespace

std::optional<LocalTime> ParseXmpDate(std::string_view text, int64_t now) {
  text = Trim(text);
  if (text.size() < 10) return std::nullopt;
  const char separator = text[4];
  if ((separator != '-' && separator != ':') || text[7] != separator) return std::nullopt;
  LocalTime time;
  time.year = DigitsAt(text, 0, 4);
  time.month = DigitsAt(text, 5, 2);
  time.day = DigitsAt(text, 8, 2);
  if (time.year < 1900 || !IsCalendarDay(time.year, time.month, time.day)) return std::nullopt;
  if (text.size() > 10) {
    if (text[10] != 'T' && text[10] != ' ') return std::nullopt;
    time.hour = DigitsAt(text, 11, 2);
    time.minute = text.size() > 13 && text[13] == ':' ? DigitsAt(text, 14, 2) : -1;
    size_t after = 16;
    if (text.size() > 16 && text[16] == ':') {
      time.second = DigitsAt(text, 17, 2);
      after = 19;
    }
    // A fraction of a second or a zone may follow, nothing else.
    if (after < text.size() && text[after] != '.' && text[after] != 'Z' && text[after] != '+' &&
        text[after] != '-') {
      return std::nullopt;
    }
    time.has_time = true;
    if (!IsClockTime(time.hour, time.minute, time.second)) return std::nullopt;
  }
  const std::optional<LocalTime> tomorrow = LocalTimeOf(now + 24 * 60 * 60);
  if (tomorrow && std::tie(time.year, time.month, time.day) >
                      std::tie(tomorrow->year, tomorrow->month, tomorrow->day)) {
    return std::nullopt;
  }
  return time;
}

std::optional<LocalTime> XmpCaptureDate(std::string_view xmp, int64_t now) {
  return XmpScan(xmp, now).Run();
}

}  // namespace nandell
