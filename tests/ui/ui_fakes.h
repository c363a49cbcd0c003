#pragma once

// Stand-ins for the window's surroundings: a profile store in memory, a scripted serial link and
// a hand that answers the message boxes.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "protocol/link.h"
#include "protocol/messages.h"
#include "settings/profile_store.h"
#include "ui/message_box.h"

namespace velkorin::testing {

class MemoryProfileStore : public ProfileStore {
 public:
  using Value = std::variant<std::string, std::uint32_t>;
  std::map<std::string, Value> values;  // by entry name; the one section is implied
  int commits = 0;

  std::string GetProfileString(std::string_view, std::string_view entry,
                               std::string_view defaultValue) override {
    const auto it = values.find(std::string(entry));
    if (it == values.end() || !std::holds_alternative<std::string>(it->second)) {
      return std::string(defaultValue);
    }
    return std::get<std::string>(it->second);
  }
  std::uint32_t GetProfileInt(std::string_view, std::string_view entry,
                              std::uint32_t defaultValue) override {
    const auto it = values.find(std::string(entry));
    if (it == values.end() || !std::holds_alternative<std::uint32_t>(it->second)) {
      return defaultValue;
    }
    return std::get<std::uint32_t>(it->second);
  }
  bool WriteProfileString(std::string_view, std::string_view entry,
                          std::string_view value) override {
    values[std::string(entry)] = std::string(value);
    return true;
  }
  bool WriteProfileInt(std::string_view, std::string_view entry, std::uint32_t value) override {
    values[std::string(entry)] = value;
    return true;
  }
  bool Commit() override {
    ++commits;
    return true;
  }
  std::uint32_t Int(const std::string& entry) const {
    return std::get<std::uint32_t>(values.at(entry));
  }
};

// A link that answers each Read from a script. It runs on the exchange's worker thread; the test
// looks at it once the exchange is over.
class ScriptedLink : public Link {
 public:
  struct State {
    std::atomic<int> opens{0};
    std::atomic<bool> open{false};
    bool openSucceeds = true;
    LinkError openError;
    std::vector<std::string> replies;  // one per Read; shorter than asked is a short read
    std::vector<std::string> written;
    std::string openedName;
    // When set, the first Read waits here until `release` is called.
    bool holdFirstRead = false;
    std::mutex mutex;
    std::condition_variable released;
    bool releasedFlag = false;
    void Release() {
      std::lock_guard lock(mutex);
      releasedFlag = true;
      released.notify_all();
    }
  };

  explicit ScriptedLink(State& state) : state_(state) {}

  bool Open(const std::string& name, std::uint32_t) override {
    ++state_.opens;
    state_.openedName = name;
    state_.open = state_.openSucceeds;
    return state_.openSucceeds;
  }
  bool Write(const std::uint8_t* data, std::int32_t length, std::uint32_t) override {
    state_.written.emplace_back(reinterpret_cast<const char*>(data),
                                static_cast<std::size_t>(length));
    return true;
  }
  bool Read(std::uint8_t* buffer, std::int32_t count, std::uint32_t) override {
    if (state_.holdFirstRead && reads_ == 0) {
      std::unique_lock lock(state_.mutex);
      state_.released.wait(lock, [this] { return state_.releasedFlag; });
    }
    if (reads_ >= state_.replies.size()) {
      ++reads_;
      return false;
    }
    const std::string& reply = state_.replies[reads_++];
    const std::size_t n = std::min(reply.size(), static_cast<std::size_t>(count));
    std::memcpy(buffer, reply.data(), n);
    return n == static_cast<std::size_t>(count);
  }
  void Close() override { state_.open = false; }
  bool IsOpen() const override { return state_.open; }
  LinkError LastError() const override { return state_.open ? LinkError{} : state_.openError; }

 private:
  State& state_;
  std::size_t reads_ = 0;
};

// Answers every message box with OK once it is running, and keeps what each one showed.
class BoxAnswerer {
 public:
  struct Box {
    QString title, text, detail;
    QMessageBox::Icon icon;
    int buttonCount;
    bool linkOpen;  // whether the link was held while the box was shown
  };

  explicit BoxAnswerer(std::function<bool()> linkOpen = [] { return false; })
      : linkOpen_(std::move(linkOpen)) {
    previous_ = SetMessageBoxHook([this](QMessageBox& box) {
      boxes.push_back({box.windowTitle(), box.text(), box.detailedText(), box.icon(),
                       static_cast<int>(box.buttons().size()), linkOpen_()});
      if (onBox)
        onBox(box);
      QTimer::singleShot(0, &box, [&box] { box.button(QMessageBox::Ok)->click(); });
    });
  }
  ~BoxAnswerer() { SetMessageBoxHook(std::move(previous_)); }

  std::vector<Box> boxes;
  std::function<void(QMessageBox&)> onBox;

 private:
  std::function<bool()> linkOpen_;
  MessageBoxHook previous_;
};

inline QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace velkorin::testing
