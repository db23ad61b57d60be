// A desktop that answers every dialog from a script and records what was asked, so the window's
// tests never wait for a person.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "app/desktop.h"

namespace qc::app::test {

struct Box {
  QString text;
  MsgStyle style;
  QString title;
};

class ScriptedDesktop final : public Desktop {
 public:
  // Answers, taken in order. A Yes/No box without a scripted answer is counted in `unscripted`
  // and answered No; OK boxes need no answer.
  std::deque<MsgButton> answers;
  std::deque<QStringList> files;  // open-file dialog; an empty list is Cancel
  std::deque<QString> folders;    // folder browser; empty text is Cancel
  // Runs while a box is up, as a person looking at the window would.
  std::function<void(const Box&)> whileBoxShown;

  std::vector<Box> boxes;
  QStringList browseTitles;
  QStringList fileFilters;
  QStringList opened;
  int beeps = 0;
  int unscripted = 0;

  MsgButton messageBox(QWidget*, const QString& text, MsgStyle style,
                       const QString& title) override {
    boxes.push_back({text, style, title});
    if (whileBoxShown) whileBoxShown(boxes.back());
    if (style != MsgStyle::YesNoQuestion) return MsgButton::Ok;
    if (answers.empty()) {
      ++unscripted;
      return MsgButton::No;
    }
    const MsgButton answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QStringList openFiles(QWidget*, const QString& filter) override {
    fileFilters << filter;
    return take(files, QStringList());
  }
  QString browseForFolder(QWidget*, const QString& title) override {
    browseTitles << title;
    return take(folders, QString());
  }
  void openDocument(const QString& target) override { opened << target; }
  void beep() override { ++beeps; }

  QStringList boxTexts() const {
    QStringList texts;
    for (const auto& b : boxes) texts << b.text;
    return texts;
  }

 private:
  template <class T>
  T take(std::deque<T>& queue, T cancelled) {
    if (queue.empty()) {
      ++unscripted;
      return cancelled;
    }
    T answer = queue.front();
    queue.pop_front();
    return answer;
  }
};

}  // namespace qc::app::test
