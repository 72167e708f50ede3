// IDLE figures against a private Dovecot (bench/imap_bench.sh starts it):
//   latency: the desktop program's controller idles on one account; a message
//            is delivered (the server script's Maildir delivery) 20 times, and
//            the time to its envelope being accepted (where the announcement
//            starts) is measured; the median is printed.
//   idle:    five IDLE watches for SECONDS; the process's CPU time and its
//            threads' context switches (each a wake-up) in that time.
//
//   imap_idle_bench SCRIPT DIR PORT CAFILE USER... (five or more users)
#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mail/imap_idle.h"
#include "watch/mail_controller.h"

namespace {

using namespace bc;
using Steady = std::chrono::steady_clock;

struct ListView final : MailView {
  void SetTitle(const std::string&) override {}
  void SetAccountsProgress(int, int) override {}
  void SetEmailsProgress(int, int) override {}
  void SetTrayIcon(TrayState) override {}
  void SetTrayTooltip(const std::string&) override {}
  void ListCleared() override {}
  void EnvelopeAccepted(int, const Envelope& e) override {
    if (e.subject == expected) {
      seen = Steady::now();
    }
  }
  void PassFinished(int) override {}
  void SetWorkerRunning(bool) override {}
  void ShowNewMailNotice(const Notice&) override {}
  void StorageAlert(const Notice&) override {}
  void NoAccountConfigured(Settings&) override {}
  void ShowSuspended(bool) override {}
  void ShowBackgroundMessage(const std::string&) override {}
  void ShowCheckProblems(const std::vector<bc::CheckProblem>&) override {}
  std::string expected;
  Steady::time_point seen{};
};

MailAccount Account(const std::string& user, int port, const std::string& caFile) {
  MailAccount a;
  a.UserName = user;
  a.Passwd = "secret";
  a.POP3Server = "127.0.0.1";
  a.POP3Port = port;
  a.Security = Security::StartTls;
  a.CAFile = caFile;
  a.CheckMark = true;
  a.Protocol = "IMAP";
  return a;
}

long long ContextSwitches() {
  long long total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
          line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        total += std::atoll(line.c_str() + line.find(':') + 1);
      }
    }
  }
  return total;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Spin(std::chrono::milliseconds time) {
  const auto end = Steady::now() + time;
  while (Steady::now() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 10) {
    std::fprintf(stderr, "usage: %s SCRIPT DIR PORT CAFILE USER1..USER5 [IDLE_SECONDS]\n", argv[0]);
    return 2;
  }
  const std::string script = argv[1];
  const std::string dir = argv[2];
  const int port = std::atoi(argv[3]);
  const std::string caFile = argv[4];
  std::vector<std::string> users(argv + 5, argv + 10);
  const int idleSeconds = argc > 10 ? std::atoi(argv[10]) : 60;
  const std::string work = std::filesystem::temp_directory_path() / "bc-imap-idle-bench";
  std::filesystem::create_directories(work);

  MailEnvironment environment;
  environment.commandLogPath = work + "/command.log";
  environment.deletedLogDir = work + "/Log";

  // Latency: 20 deliveries to an idling desktop controller.
  {
    Settings settings;
    settings.accounts = {Account(users[0], port, caFile)};
    settings.options.CheckMail = 1;
    settings.options.Freq = "1";
    settings.options.FreqUnit = FreqUnit::Hours;
    SystemClock clock;
    ListView view;
    MailController controller(
        settings, nullptr, [] { return false; }, environment, clock);
    controller.AttachView(&view);
    controller.Start();
    Spin(std::chrono::milliseconds(1500));
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
      view.expected = "bench " + std::to_string(i);
      view.seen = {};
      const std::string file = work + "/m.eml";
      std::ofstream(file) << "From: Bench <bench@example.com>\nSubject: " << view.expected
                          << "\nMessage-ID: <bench" << i << "." << std::time(nullptr)
                          << "@x>\n\nHello.\n";
      const auto start = Steady::now();
      const std::string deliver =
          "bash '" + script + "' deliver '" + dir + "' " + users[0] + " '" + file + "'";
      if (std::system(deliver.c_str()) != 0) {
        return 1;
      }
      const auto end = start + std::chrono::seconds(20);
      while (view.seen == Steady::time_point{} && Steady::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (view.seen == Steady::time_point{}) {
        std::printf("delivery %d: not listed within 20 s\n", i);
        return 1;
      }
      ms.push_back(std::chrono::duration<double, std::milli>(view.seen - start).count());
      Spin(std::chrono::milliseconds(300));  // the pass ends, the watch idles again
    }
    controller.Shutdown();
    std::sort(ms.begin(), ms.end());
    std::printf("delivery to announcement (IDLE): median %.0f ms, min %.0f, max %.0f (20 runs)\n",
                ms[ms.size() / 2], ms.front(), ms.back());
  }

  // Idle cost: five watches, nothing arriving.
  {
    std::vector<std::unique_ptr<ImapIdleWatcher>> watchers;
    for (const std::string& user : users) {
      watchers.push_back(
          std::make_unique<ImapIdleWatcher>(Account(user, port, caFile), environment, [] {}));
      watchers.back()->Start();
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double cpu0 = CpuSeconds();
    const long long switches0 = ContextSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double cpu = CpuSeconds() - cpu0;
    const long long switches = ContextSwitches() - switches0;
    for (auto& watcher : watchers) {
      watcher->Stop();
    }
    std::printf(
        "idle, 5 accounts, %d s: CPU %.3f s (%.3f %%), %lld wake-ups (%.1f per second per "
        "account)\n",
        idleSeconds, cpu, 100.0 * cpu / idleSeconds, switches,
        static_cast<double>(switches) / idleSeconds / 5.0);
  }
  return 0;
}
