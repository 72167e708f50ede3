// Reads fuzzed FieldOrder texts the way the email list and the announcement do,
// and checks what must hold for any text a user or an old file may hold.
//
// Input: eight flag bytes (value % 3, so 0, 1 and 2 occur), eight position bytes
// (signed; 0x7F and 0x80 stand for the int limits), then the order text, a NUL
// byte and a key to look up. Missing bytes read as 0.
//
// The checks live in bc::fuzz::CheckFieldOrderInput so the regression test
// replays a saved input exactly as the fuzzer does; it returns the first broken rule.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/field_order.h"
#include "config/settings.h"

namespace bc::fuzz {

std::string CheckFieldOrderInput(std::string_view input);

namespace {

using Ints = std::array<int, kFieldCount>;

AppOptions OptionsWith(const Ints& flags, std::string_view orderText) {
  AppOptions o;
  o.From = o.SpeakFrom = flags[0];
  o.Subject = o.SpeakSubject = flags[1];
  o.Address = o.SpeakAddress = flags[2];
  o.Received = o.SpeakReceived = flags[3];
  o.size = o.SpeakSize = flags[4];
  o.Account = o.SpeakAccount = flags[5];
  o.Attachment = o.SpeakAttachment = flags[6];
  o.SpeakContent = flags[7];
  o.ColumnOrder = o.SpeakOrder = std::string(orderText);
  return o;
}

std::string CheckSet(FieldSet set, std::string_view text, const Ints& flags, const Ints& wanted) {
  const int count = FieldCount(set);
  const Ints positions = ReadPositions(set, text);
  for (int i = 0; i < kFieldCount; ++i) {
    const auto index = static_cast<size_t>(i);
    const int expected = i < count ? LookupPosition(kFields[index].key, text) : -1;
    if (positions[index] != expected) {
      return std::string("ReadPositions disagrees with LookupPosition for ") + kFields[index].key;
    }
  }

  // Only fields of the set, flagged 1, at a position in range, each once and in
  // the order of their positions; and every such field.
  const std::vector<Field> fields = OrderedFields(set, text, flags);
  size_t eligible = 0;
  for (int i = 0; i < count; ++i) {
    const auto index = static_cast<size_t>(i);
    eligible += flags[index] == 1 && positions[index] >= 0 && positions[index] < count;
  }
  if (fields.size() != eligible) {
    return "OrderedFields left out or added a field";
  }
  int lastPosition = 0;
  unsigned seen = 0;
  for (Field field : fields) {
    const auto index = static_cast<size_t>(field);
    if (static_cast<int>(index) >= count || flags[index] != 1 || (seen >> index) & 1u) {
      return "OrderedFields used a field outside the set, not flagged, or twice";
    }
    seen |= 1u << index;
    if (positions[index] < lastPosition || positions[index] >= count) {
      return "OrderedFields is out of order or used a position out of range";
    }
    lastPosition = positions[index];
  }

  // The options hold the same flags and text: the same fields, except that
  // Content is never a column.
  Ints setFlags = flags;
  if (set == FieldSet::Columns) {
    setFlags[static_cast<size_t>(Field::Content)] = 0;
  }
  if (OrderedFields(OptionsWith(flags, text), set) != OrderedFields(set, text, setFlags)) {
    return "OrderedFields of the options differs from OrderedFields of their parts";
  }

  // A text written by BuildOrderText reads back as written, and writing what was
  // read gives the text back.
  const std::string canonical = BuildOrderText(set, wanted);
  const Ints reread = ReadPositions(set, canonical);
  for (int i = 0; i < count; ++i) {
    const auto index = static_cast<size_t>(i);
    if (reread[index] != wanted[index]) {
      return "a built order text does not read back: " + canonical;
    }
  }
  if (BuildOrderText(set, reread) != canonical) {
    return "rebuilding a built order text changed it: " + canonical;
  }
  // Any text, once rewritten, keeps the positions it was read with.
  if (ReadPositions(set, BuildOrderText(set, positions)) != positions) {
    return "rewriting an order text moved a field";
  }
  return {};
}

}  // namespace

std::string CheckFieldOrderInput(std::string_view input) {
  const auto byteAt = [&input](size_t i) {
    return i < input.size() ? static_cast<unsigned char>(input[i]) : 0;
  };
  Ints flags{};
  Ints wanted{};
  for (size_t i = 0; i < kFieldCount; ++i) {
    flags[i] = byteAt(i) % 3;
    const unsigned char b = byteAt(kFieldCount + i);
    wanted[i] = b == 0x7F ? INT_MAX : b == 0x80 ? INT_MIN : static_cast<signed char>(b);
  }
  input.remove_prefix(std::min<size_t>(2 * kFieldCount, input.size()));
  const size_t nul = input.find('\0');
  const std::string_view text = input.substr(0, nul);
  const std::string_view key = nul == std::string_view::npos ? "" : input.substr(nul + 1);

  const int position = LookupPosition(key, text);
  if ((key.empty() || text.find(key) == std::string_view::npos) && position != -1) {
    return "LookupPosition found a key the text does not hold";
  }
  for (FieldSet set : {FieldSet::Columns, FieldSet::Speech}) {
    if (auto why = CheckSet(set, text, flags, wanted); !why.empty()) {
      return why;
    }
  }
  return {};
}

}  // namespace bc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string why =
      bc::fuzz::CheckFieldOrderInput(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!why.empty()) {
    std::fprintf(stderr, "field_order_fuzz: %s\n", why.c_str());
    std::abort();
  }
  return 0;
}
