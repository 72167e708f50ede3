// Feeds arbitrary bytes to the decoder as a retrieved message, then the results
// through what the check cycle does with them. Every result must be UTF-8.
#include "mime/mime_decoder.h"
#include "mime/text_case.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  bc::DecodedMessage message;
  bc::MimeDecoder decoder;
  (void)decoder.Decode(text, message);
  std::string joined;
  for (const std::string_view line : message.bodyLines) {
    if (line.empty() || !bc::IsValidUtf8(line)) {
      std::abort();
    }
    joined += line;
  }
  if (!bc::IsValidUtf8(bc::StripHtml(joined))) {
    std::abort();
  }
  // UTF-8 in, UTF-8 out: no cut may split a character.
  if (bc::IsValidUtf8(text) && !bc::IsValidUtf8(bc::StripHtml(text))) {
    std::abort();
  }
  for (const std::string_view line : message.headerLines) {
    if (!bc::IsValidUtf8(bc::DecodeHeaderText(line))) {
      std::abort();
    }
    (void)bc::GetContentTypeParam("Content-Type", line, "name");
  }
  for (const std::string& name : message.attachmentNames) {
    if (!bc::IsValidUtf8(name)) {
      std::abort();
    }
  }
  return 0;
}
