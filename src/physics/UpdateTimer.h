#pragma once

#include <functional>
#include <memory>

namespace brumelo {

// A repeating timer on the main thread. Timers fire only from fireDueTimers(), which the
// program's main loop calls; nothing runs on another thread.
class UpdateTimer {
  public:
    // Starts firing `callback` every `interval` seconds from now. The timer stays scheduled until
    // invalidate() or until the last reference to it goes.
    static std::shared_ptr<UpdateTimer> scheduledTimer(double interval,
                                                       std::function<void()> callback);
    ~UpdateTimer();

    void invalidate();
    bool isValid() const { return valid_; }
    double interval() const { return interval_; }

    // Seconds of a monotonic clock.
    static double now();
    // Fires every scheduled timer that is due at `time` (once each, however late); the count fired.
    static int fireDueTimers(double time);
    static int fireDueTimers() { return fireDueTimers(now()); }

    UpdateTimer(double interval, std::function<void()> callback, double firstFire);

  private:
    double interval_;
    std::function<void()> callback_;
    double nextFire_;
    bool valid_ = true;
};

}  // namespace brumelo
