#include "linux/phone_control.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "base/ipv4_text.h"
#include "linux/settings_files.h"
#include "seams/system.h"
#include "shell/phone_menu_text.h"

namespace tavrin {

namespace {
constexpr int kArmMs = 1000;
}

void PhoneControl::attach(PhoneRoster& roster) {
  roster_ = &roster;
  roster_->setAllowList(ReadAllowList());
  roster_->setAskFirst(ReadAskFirst());
}

PhoneControl::PhoneControl(Log& log) : log_(log) {
  QObject::connect(&menu_, &QMenu::aboutToShow, [this] { fillMenu(); });

  prompt_.setWindowTitle(QStringLiteral("Tavrin - New Phone"));
  prompt_.setWindowFlag(Qt::WindowStaysOnTopHint);
  // Shown without taking the keyboard from the window the user types in:
  // the user comes to the prompt, the prompt does not come to the keys.
  prompt_.setAttribute(Qt::WA_ShowWithoutActivating);
  auto* layout = new QVBoxLayout(&prompt_);
  question_ = new QLabel;
  note_ = new QLabel;
  layout->addWidget(question_);
  layout->addWidget(note_);
  auto* buttons = new QHBoxLayout;
  // No access letters: someone typing when the prompt comes up must not
  // answer it.
  allow_ = new QPushButton(QStringLiteral("Allow"));
  always_ = new QPushButton(QStringLiteral("Always Allow"));
  deny_ = new QPushButton(QStringLiteral("Deny"));
  for (QPushButton* button : {allow_, always_}) button->setAutoDefault(false);
  deny_->setDefault(true);
  buttons->addWidget(allow_);
  buttons->addWidget(always_);
  buttons->addWidget(deny_);
  layout->addLayout(buttons);
  QObject::connect(allow_, &QPushButton::clicked, [this] { answer(Answer::Allow); });
  QObject::connect(always_, &QPushButton::clicked, [this] { answer(Answer::AlwaysAllow); });
  QObject::connect(deny_, &QPushButton::clicked, [this] { answer(Answer::Deny); });
  // Closing the prompt refuses too: nobody said yes.
  QObject::connect(&prompt_, &QDialog::rejected, [this] { answer(Answer::Deny); });
  armTimer_.setSingleShot(true);
  QObject::connect(&armTimer_, &QTimer::timeout, [this] {
    allow_->setEnabled(true);
    always_->setEnabled(true);
  });
}

void PhoneControl::promptChanged() noexcept {
  // One call in the queue at a time: a flood of connections changes the
  // prompt thousands of times a second, and the prompt only needs to look.
  if (syncQueued_.exchange(true, std::memory_order_acq_rel)) return;
  QMetaObject::invokeMethod(
      qApp,
      [this] {
        syncQueued_.store(false, std::memory_order_release);
        syncPrompt();
      },
      Qt::QueuedConnection);
}

void PhoneControl::fillMenu() {
  menu_.clear();
  const std::vector<PhoneInfo> phones = roster_->snapshot();
  if (phones.empty()) menu_.addAction(QStringLiteral("No phone connected"))->setEnabled(false);
  for (const PhoneInfo& phone : phones) {
    wchar_t item[kPhoneItemCapacity];
    FormatPhoneItem(item, kPhoneItemCapacity, phone, TickCount64());
    QMenu* actions = menu_.addMenu(QString::fromWCharArray(item));
    const PhoneId id = phone.id;
    actions->addAction(QStringLiteral("&Disconnect"), [this, id] { roster_->requestDisconnect(id); });
  }
  menu_.addSeparator();
  QAction* pause = menu_.addAction(QStringLiteral("&Pause Phones"));
  pause->setCheckable(true);
  pause->setChecked(roster_->paused());
  QObject::connect(pause, &QAction::triggered, [this](bool on) {
    roster_->setPaused(on);
    log_.write(LogLevel::Info, on ? "phones paused" : "phones resumed");
  });
  QAction* ask = menu_.addAction(QStringLiteral("&Ask Before a New Phone Connects"));
  ask->setCheckable(true);
  ask->setChecked(roster_->askFirst());
  QObject::connect(ask, &QAction::triggered, [this](bool on) {
    roster_->setAskFirst(on);
    WriteAskFirst(on, log_);
  });
  menu_.addAction(QStringLiteral("&Forget Allowed Phones"), [this] {
    roster_->forgetAllowed();
    WriteAllowList(roster_->allowList(), log_);
  });
}

void PhoneControl::syncPrompt() {
  if (!roster_) return;
  const std::optional<PhoneRoster::Prompt> wanted = roster_->prompt();
  if (!wanted) {
    promptFor_ = 0;
    prompt_.hide();
    return;
  }
  if (promptFor_ == wanted->id) return;
  const bool replaced = promptFor_ != 0;
  promptFor_ = wanted->id;
  if (wanted->logged) log_.write(LogLevel::Info, "asking the user about the phone at %s", Ipv4Text(wanted->ipv4).text);
  wchar_t text[kPromptTextCapacity];
  FormatPromptText(text, kPromptTextCapacity, wanted->ipv4);
  question_->setText(QString::fromWCharArray(text));
  // Another phone in the same window: said in words, and the allowing
  // buttons wait again, so that a click aimed at the phone before never
  // answers for this one.
  note_->setText(replaced ? QString::fromWCharArray(kPromptReplacedNote) : QString());
  arm();
  if (!replaced) prompt_.show();
}

void PhoneControl::arm() {
  allow_->setEnabled(false);
  always_->setEnabled(false);
  deny_->setFocus();
  armTimer_.start(kArmMs);
}

void PhoneControl::answer(Answer answer) {
  if (promptFor_ == 0) return;
  // A button still waiting cannot answer, whatever says it was clicked.
  if (answer != Answer::Deny && !allow_->isEnabled()) return;
  if (roster_->answer(promptFor_, answer)) WriteAllowList(roster_->allowList(), log_);
  promptFor_ = 0;
  prompt_.hide();
  syncPrompt();
}

}  // namespace tavrin
