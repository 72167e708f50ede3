// Decode over a mix of messages as a POP3 server delivers them: plain text, a
// multipart/alternative with HTML, a quoted-printable newsletter, a message with a
// base64 attachment. Goal: at least 150 MB/s of message text,
// and within 10x of BM_MemchrLines (the same bytes cut into lines by memchr).
// The mail files of the tests (real messages in the charsets and encodings
// mail comes in) are decoded too, as a server serves them: goal within 5x of
// the memchr pass over the same bytes. The run ends with both figures and
// their ratio.
#include "mime/mime_decoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Retr(const std::string& lfMessage) {
  std::string out = "+OK " + std::to_string(lfMessage.size()) + " octets\r\n";
  std::size_t from = 0;
  while (from < lfMessage.size()) {
    std::size_t end = lfMessage.find('\n', from);
    if (end == std::string::npos) {
      end = lfMessage.size();
    }
    if (lfMessage[from] == '.') {
      out += '.';
    }
    out.append(lfMessage, from, end - from);
    out += "\r\n";
    from = end + 1;
  }
  return out + ".\r\n";
}

std::string Headers(const std::string& subject, const std::string& contentType) {
  return "Return-Path: <sender@example.com>\n"
         "Received: from mail.example.com (mail.example.com [192.0.2.1])\n"
         "\tby pop.example.net with ESMTP id 4F2A1; Tue, 7 Sep 2004 10:00:00 +0200\n"
         "From: =?UTF-8?Q?J=C3=B6rg_Sender?= <sender@example.com>\n"
         "To: reader@example.net\n"
         "Subject: " +
         subject +
         "\n"
         "Date: Tue, 7 Sep 2004 09:59:00 +0200\n"
         "Message-ID: <20040907095900.4F2A1@example.com>\n"
         "MIME-Version: 1.0\n"
         "Content-Type: " +
         contentType + "\n";
}

std::string Paragraphs(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += "The quarterly report shows steady growth in every region we serve, line " +
            std::to_string(i) + ".\n";
    if (i % 6 == 5) {
      text += "\n";
    }
  }
  return text;
}

std::vector<std::string> MakeMix() {
  std::vector<std::string> mix;
  mix.push_back(
      Retr(Headers("Lunch on Friday?", "text/plain; charset=us-ascii") + "\n" + Paragraphs(40)));

  std::string html = "<html><head><style>p { margin: 0 }</style></head><body>\n";
  for (int i = 0; i < 60; ++i) {
    html += "<p>The quarterly report shows <b>steady growth</b> &amp; more, line " +
            std::to_string(i) + ".</p>\n";
  }
  html += "</body></html>\n";
  mix.push_back(Retr(Headers("=?UTF-8?B?R3LDvMOfZSBhdXMgTcO8bmNoZW4=?=",
                             "multipart/alternative; boundary=\"alt-1\"") +
                     "\n--alt-1\nContent-Type: text/plain; charset=utf-8\n\n" + Paragraphs(60) +
                     "\n--alt-1\nContent-Type: text/html; charset=utf-8\n\n" + html +
                     "\n--alt-1--\n"));

  std::string qp;
  for (int i = 0; i < 120; ++i) {
    qp +=
        "Gr=C3=BC=C3=9Fe aus M=C3=BCnchen, the newsletter continues here with =\n"
        "soft line breaks and =E2=82=AC prices, line " +
        std::to_string(i) + "\n";
  }
  mix.push_back(Retr(Headers("=?ISO-8859-1?Q?Caf=E9_news?=", "text/plain; charset=utf-8") +
                     "Content-Transfer-Encoding: quoted-printable\n\n" + qp));

  std::string base64;
  for (int i = 0; i < 950; ++i) {
    base64 += "JVBERi0xLjQKJcfsj6IKNSAwIG9iago8PC9MZW5ndGggNiAwIFIvRmlsdGVyIC9GbGF0ZURlY29k\n";
  }
  mix.push_back(Retr(Headers("Invoice", "multipart/mixed; boundary=\"mix-1\"") +
                     "\n--mix-1\nContent-Type: text/plain; charset=utf-8\n\n" + Paragraphs(20) +
                     "\n--mix-1\nContent-Type: application/pdf; name=\"invoice.pdf\"\n"
                     "Content-Transfer-Encoding: base64\n\n" +
                     base64 + "\n--mix-1--\n"));
  // A mail with three attached files (each part below the 1000-line limit).
  std::string files;
  for (const char* name : {"photo1.jpg", "photo2.jpg", "scan.pdf"}) {
    files += std::string("\n--mix-2\nContent-Type: application/octet-stream; name=\"") + name +
             "\"\nContent-Transfer-Encoding: base64\n\n" + base64;
  }
  mix.push_back(Retr(Headers("Holiday photos", "multipart/mixed; boundary=\"mix-2\"") +
                     "\n--mix-2\nContent-Type: text/plain; charset=utf-8\n\n" + Paragraphs(10) +
                     files + "\n--mix-2--\n"));
  return mix;
}

// The mail files of the tests, each as the RETR reply that carries it.
std::vector<std::string> MailFiles() {
  std::vector<std::string> mail;
  for (const auto& entry : std::filesystem::directory_iterator(BC_MAIL_DIR)) {
    if (entry.path().extension() == ".eml") {
      std::ifstream in(entry.path(), std::ios::binary);
      mail.push_back(
          Retr(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())));
    }
  }
  return mail;
}

std::size_t TotalSize(const std::vector<std::string>& mix) {
  std::size_t bytes = 0;
  for (const std::string& m : mix) {
    bytes += m.size();
  }
  return bytes;
}

void Decode(benchmark::State& state, const std::vector<std::string>& messages) {
  const std::size_t bytes = TotalSize(messages);
  bc::MimeDecoder decoder;
  for (auto _ : state) {
    for (const std::string& m : messages) {
      bc::DecodedMessage out;
      bool ok = decoder.Decode(m, out);
      benchmark::DoNotOptimize(ok);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["mix_bytes"] = static_cast<double>(bytes);
}

// The yardstick: a memchr pass that finds every line of the same bytes and
// copies it out, the least a line-oriented decoder must do.
void MemchrLines(benchmark::State& state, const std::vector<std::string>& messages) {
  const std::size_t bytes = TotalSize(messages);
  std::string copy;
  for (auto _ : state) {
    for (const std::string& m : messages) {
      copy.clear();
      const char* at = m.data();
      const char* end = m.data() + m.size();
      while (at < end) {
        const void* lf = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        const char* next = lf ? static_cast<const char*>(lf) + 1 : end;
        copy.append(at, next);
        at = next;
      }
      benchmark::DoNotOptimize(copy.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_DecodeMix(benchmark::State& state) {
  Decode(state, MakeMix());
}
BENCHMARK(BM_DecodeMix);

void BM_MemchrLines(benchmark::State& state) {
  MemchrLines(state, MakeMix());
}
BENCHMARK(BM_MemchrLines);

void BM_DecodeMail(benchmark::State& state) {
  Decode(state, MailFiles());
}
BENCHMARK(BM_DecodeMail);

void BM_MemchrMail(benchmark::State& state) {
  MemchrLines(state, MailFiles());
}
BENCHMARK(BM_MemchrMail);

// The console report, and each benchmark's throughput (CPU time) kept for the
// summary that compares them.
class SummaryReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (const auto bytes = run.counters.find("bytes_per_second"); bytes != run.counters.end()) {
        throughput[run.benchmark_name()] = bytes->second.value / 1e6;
      }
    }
  }
  std::map<std::string, double> throughput;  // MB/s by benchmark name
};

void PrintRatio(const SummaryReporter& reporter, const char* what, const char* ours,
                const char* peer, double goal) {
  const auto a = reporter.throughput.find(ours);
  const auto b = reporter.throughput.find(peer);
  if (a == reporter.throughput.end() || b == reporter.throughput.end() || a->second <= 0) {
    return;
  }
  std::printf("%s: decode %.0f MB/s, memchr lines %.0f MB/s, %.1fx slower (goal: within %.0fx)\n",
              what, a->second, b->second, b->second / a->second, goal);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatio(reporter, "mix", "BM_DecodeMix", "BM_MemchrLines", 10);
  PrintRatio(reporter, "mail files", "BM_DecodeMail", "BM_MemchrMail", 5);
  benchmark::Shutdown();
  return 0;
}
