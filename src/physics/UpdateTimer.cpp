#include "physics/UpdateTimer.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace brumelo {

namespace {
std::vector<UpdateTimer*>& scheduled() {
    static std::vector<UpdateTimer*> timers;
    return timers;
}
}  // namespace

UpdateTimer::UpdateTimer(double interval, std::function<void()> callback, double firstFire)
    : interval_(interval), callback_(std::move(callback)), nextFire_(firstFire) {}

UpdateTimer::~UpdateTimer() { invalidate(); }

std::shared_ptr<UpdateTimer> UpdateTimer::scheduledTimer(double interval,
                                                         std::function<void()> callback) {
    auto timer = std::make_shared<UpdateTimer>(interval, std::move(callback), now() + interval);
    scheduled().push_back(timer.get());
    return timer;
}

void UpdateTimer::invalidate() {
    if (!valid_) return;
    valid_ = false;
    auto& timers = scheduled();
    timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
}

double UpdateTimer::now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int UpdateTimer::fireDueTimers(double time) {
    // A callback may start or stop timers, so work from a snapshot and re-check each one.
    const std::vector<UpdateTimer*> due = scheduled();
    int fired = 0;
    for (UpdateTimer* timer : due) {
        auto& timers = scheduled();
        if (std::find(timers.begin(), timers.end(), timer) == timers.end()) continue;
        if (timer->nextFire_ > time) continue;
        // Late ticks are not replayed: the next one is a full period after this one.
        timer->nextFire_ = time + std::max(timer->interval_, 0.0);
        ++fired;
        auto callback = timer->callback_;
        callback();
    }
    return fired;
}

}  // namespace brumelo
