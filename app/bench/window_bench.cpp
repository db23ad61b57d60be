// Converts one mailbox through the window (offscreen) and reports the longest time the event
// loop went without handling an event, then converts it with quillon-convert for comparison.
// With --folder, adds the mailboxes of a folder tree instead and reports the same for the walk.
//
//   QT_QPA_PLATFORM=offscreen window_bench [--form eml|emlx|pst|msg] MAILBOX OUTPUT_DIR
//                                          [QUILLON_CONVERT] [ROUNDS]
//   QT_QPA_PLATFORM=offscreen window_bench --folder TREE
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/frm_step1.h"
#include "app/tests/scripted_desktop.h"

namespace {

struct WindowRun {
  double seconds = 0;
  double longestGapMs = 0;
  double p99GapMs = 0;
  double longestGapAtS = 0;  // when the longest gap ended, from the start of the run
  std::int64_t messages = 0;
};

// A 1 ms timer fires whenever the loop gets to handle events; the gaps between its firings are
// how long the window would keep a person waiting.
class GapMeter {
 public:
  GapMeter() {
    ticker_.setInterval(1);
    ticker_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      record();
      sinceLast_.restart();
    });
  }
  void start() {
    ticker_.start();
    clock_.start();
    sinceLast_.start();
  }
  // Ends the measured stretch (a box is about to wait for a person).
  void end() {
    if (ended_) return;
    record();
    ended_ = true;
  }
  WindowRun result() {
    ticker_.stop();
    WindowRun run;
    run.seconds = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
    run.longestGapAtS = longestAt_;
    if (!gaps_.empty()) {
      std::sort(gaps_.begin(), gaps_.end());
      run.longestGapMs = gaps_.back();
      run.p99GapMs = gaps_[gaps_.size() * 99 / 100];
    }
    return run;
  }

 private:
  void record() {
    if (ended_) return;
    const double gap = static_cast<double>(sinceLast_.nsecsElapsed()) / 1e6;
    gaps_.push_back(gap);
    if (gap > longest_) {
      longest_ = gap;
      longestAt_ = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
    }
  }

  QTimer ticker_;
  QElapsedTimer sinceLast_;
  QElapsedTimer clock_;
  std::vector<double> gaps_;
  double longest_ = 0;
  double longestAt_ = 0;
  bool ended_ = false;
};

QString form = QStringLiteral("eml");

WindowRun ConvertThroughTheWindow(const QString& mailbox, const QString& out) {
  qc::app::test::ScriptedDesktop desktop;
  qc::app::FrmStep1 window(desktop, QString());
  window.show();
  QApplication::processEvents();
  desktop.files = {{mailbox}};
  window.cmdAdd_Click();
  window.findChild<QAbstractButton*>(QStringLiteral("Opt") + form.toUpper())->click();
  desktop.folders = {out};

  GapMeter meter;
  desktop.whileBoxShown = [&](const qc::app::test::Box&) { meter.end(); };
  meter.start();
  window.CmdConvert_Click();
  WindowRun run = meter.result();
  run.messages = window.lastRun().messagesWritten;
  for (const auto& box : desktop.boxes) {
    if (!box.text.contains(QStringLiteral("successfully"))) {
      std::fprintf(stderr, "unexpected box: %s\n", qPrintable(box.text));
    }
  }
  return run;
}

int AddFolderThroughTheWindow(const QString& tree) {
  qc::app::test::ScriptedDesktop desktop;
  qc::app::FrmStep1 window(desktop, QString());
  window.show();
  QApplication::processEvents();
  desktop.folders = {tree};
  GapMeter meter;
  desktop.whileBoxShown = [&](const qc::app::test::Box&) { meter.end(); };
  meter.start();
  window.CmdAddFolder_Click();
  const WindowRun run = meter.result();
  std::printf("add folder: %.3f s, %d rows, longest gap %.1f ms (ending at %.3f s), 99th %.1f ms\n",
              run.seconds, window.list().rowCount(), run.longestGapMs, run.longestGapAtS,
              run.p99GapMs);
  for (const auto& box : desktop.boxes) std::printf("box: %s\n", qPrintable(box.text));
  return 0;
}

double ConvertWithTheCommandLine(const QString& cli, const QString& mailbox, const QString& out) {
  QElapsedTimer clock;
  clock.start();
  const int status = QProcess::execute(cli, {QStringLiteral("--quiet"), QStringLiteral("--format"),
                                             form, QStringLiteral("--output"), out, mailbox});
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  if (status != 0) std::fprintf(stderr, "quillon-convert exited with %d\n", status);
  return seconds;
}

void Remove(const QString& folder) {
  std::error_code ec;
  std::filesystem::remove_all(folder.toStdString(), ec);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--folder")) {
    return AddFolderThroughTheWindow(QString::fromLocal8Bit(argv[2]));
  }
  if (argc > 2 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--form")) {
    form = QString::fromLocal8Bit(argv[2]);
    argv += 2;
    argc -= 2;
  }
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s [--form eml|emlx|pst|msg] MAILBOX OUTPUT_DIR [QUILLON_CONVERT] "
                 "[ROUNDS]\n",
                 argv[0]);
    return 1;
  }
  const QString mailbox = QString::fromLocal8Bit(argv[1]);
  const QString outWindow = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/window");
  const QString outCli = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/cli");
  const QString cli = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;

  std::vector<double> windowTimes;
  std::vector<double> cliTimes;
  double longestGap = 0;
  for (int round = 0; round < rounds; ++round) {
    Remove(outWindow);
    const WindowRun run = ConvertThroughTheWindow(mailbox, outWindow);
    Remove(outWindow);
    windowTimes.push_back(run.seconds);
    longestGap = std::max(longestGap, run.longestGapMs);
    std::printf(
        "window  round %d: %.3f s, %lld messages, longest gap %.1f ms (ending at %.3f s), 99th "
        "%.1f ms\n",
        round + 1, run.seconds, static_cast<long long>(run.messages), run.longestGapMs,
        run.longestGapAtS, run.p99GapMs);
    if (!cli.isEmpty()) {
      Remove(outCli);
      cliTimes.push_back(ConvertWithTheCommandLine(cli, mailbox, outCli));
      Remove(outCli);
      std::printf("command line round %d: %.3f s\n", round + 1, cliTimes.back());
    }
    std::fflush(stdout);
  }
  std::sort(windowTimes.begin(), windowTimes.end());
  const double windowMedian = windowTimes[windowTimes.size() / 2];
  std::printf("\nwindow: median %.3f s; longest gap between handled events %.1f ms (goal < 50)\n",
              windowMedian, longestGap);
  if (!cliTimes.empty()) {
    std::sort(cliTimes.begin(), cliTimes.end());
    const double cliMedian = cliTimes[cliTimes.size() / 2];
    std::printf("command line: median %.3f s; window / command line = %.3f (goal <= 1.10)\n",
                cliMedian, windowMedian / cliMedian);
  }
  return 0;
}
