#include "common/io_loop.h"

#include <arpa/inet.h>

namespace vireluz {

bool is_numeric_address(std::string_view address) {
  const std::string a(address);
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(AF_INET, a.c_str(), buf) == 1 || inet_pton(AF_INET6, a.c_str(), buf) == 1;
}

class AlarmList::Entry : public IoLoop::Alarm {
 public:
  Entry(AlarmList& list, std::function<void()> fn)
      : list_(list), fn_(std::make_shared<std::function<void()>>(std::move(fn))) {}
  ~Entry() override { stop(); }

  void start(std::int64_t ms) override {
    if (key_) list_.remove(*key_);
    key_ = list_.add(list_.now_() + (ms < 0 ? 0 : ms), this);
  }
  void stop() override {
    if (!key_) return;
    list_.remove(*key_);
    key_.reset();
  }
  bool pending() const override { return key_.has_value(); }

 private:
  friend class AlarmList;
  AlarmList& list_;
  // Shared with a callback in progress: the alarm may be destroyed from
  // inside its own callback.
  std::shared_ptr<std::function<void()>> fn_;
  std::optional<Key> key_;
};

AlarmList::AlarmList(std::function<std::int64_t()> now,
                     std::function<void(std::optional<std::int64_t>)> rearm)
    : now_(std::move(now)), rearm_(std::move(rearm)) {}

AlarmList::~AlarmList() {
  for (auto& [key, entry] : queue_) entry->key_.reset();
}

std::unique_ptr<IoLoop::Alarm> AlarmList::make(std::function<void()> fn) {
  return std::make_unique<Entry>(*this, std::move(fn));
}

AlarmList::Key AlarmList::add(std::int64_t due, Entry* entry) {
  const Key key{due, seq_++};
  queue_.emplace(key, entry);
  changed();
  return key;
}

void AlarmList::remove(const Key& key) {
  queue_.erase(key);
  changed();
}

std::optional<std::int64_t> AlarmList::next_due() const {
  if (queue_.empty()) return std::nullopt;
  return queue_.begin()->first.first;
}

void AlarmList::changed() {
  if (running_) return;  // run_due re-arms once it is done
  const auto next = next_due();
  if (next == armed_for_) return;
  armed_for_ = next;
  rearm_(next);
}

void AlarmList::run_due() {
  const std::int64_t now = now_();
  // Only what was queued before this pass: an alarm started again for now
  // from a callback waits for the next pass.
  const std::uint64_t last = seq_;
  struct Pass {
    AlarmList& list;
    explicit Pass(AlarmList& l) : list(l) { list.running_ = true; }
    ~Pass() {
      list.running_ = false;
      list.armed_for_.reset();
      list.changed();
    }
  } pass(*this);
  for (;;) {
    auto it = queue_.begin();
    while (it != queue_.end() && it->first.first <= now && it->first.second >= last) ++it;
    if (it == queue_.end() || it->first.first > now) break;
    Entry* entry = it->second;
    queue_.erase(it);
    entry->key_.reset();
    const auto fn = entry->fn_;
    (*fn)();
  }
}

}  // namespace vireluz
