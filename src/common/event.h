#pragma once
// An event that several parts of the program follow: each subscriber keeps
// the Subscription it was given, and stops following the event when that is
// destroyed, from anywhere, its own call included. Subscribers are called in
// the order they subscribed; one subscribed during a call is called from the
// next one on.
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vireluz {

class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  Subscription(Subscription&& o) noexcept : cancel_(std::exchange(o.cancel_, nullptr)) {}
  Subscription& operator=(Subscription&& o) noexcept {
    if (this != &o) {
      reset();
      cancel_ = std::exchange(o.cancel_, nullptr);
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { reset(); }
  void reset() {
    if (auto c = std::exchange(cancel_, nullptr)) c();
  }

 private:
  std::function<void()> cancel_;
};

template <class... Args>
class Event {
 public:
  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  [[nodiscard]] Subscription subscribe(std::function<void(Args...)> fn) {
    const std::uint64_t id = state_->next++;
    state_->subscribers.push_back({id, std::make_shared<std::function<void(Args...)>>(std::move(fn))});
    return Subscription([weak = std::weak_ptr<State>(state_), id] {
      if (const auto s = weak.lock())
        std::erase_if(s->subscribers, [id](const Subscriber& sub) { return sub.id == id; });
    });
  }

  void operator()(Args... args) const {
    const auto state = state_;  // the event's owner may go during a call
    const std::uint64_t end = state->next;
    for (std::size_t i = 0; i < state->subscribers.size();) {
      const Subscriber sub = state->subscribers[i];
      if (sub.id >= end) break;
      (*sub.fn)(args...);
      // Slots before this one may have gone meanwhile: find the next by id.
      i = 0;
      while (i < state->subscribers.size() && state->subscribers[i].id <= sub.id) ++i;
    }
  }

  bool empty() const { return state_->subscribers.empty(); }

 private:
  struct Subscriber {
    std::uint64_t id;
    std::shared_ptr<std::function<void(Args...)>> fn;
  };
  struct State {
    std::vector<Subscriber> subscribers;
    std::uint64_t next = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace vireluz
