// Work that waits with the window's events running (a reader exchange, a LAN
// request, a download, a dialog): a second start from one of those events is
// refused instead of running nested inside the first.
#pragma once

namespace stampwise {

class NestedWait {
 public:
  // Holds the wait for its lifetime when it was free (see Entered); gives it
  // back however the work ends, an exception included.
  class Turn {
   public:
    explicit Turn(NestedWait& wait) : wait_(wait), entered_(!wait.busy_) { wait_.busy_ = true; }
    ~Turn() {
      if (entered_) wait_.busy_ = false;
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    // False when the work was already under way: leave it to that one.
    bool Entered() const { return entered_; }

   private:
    NestedWait& wait_;
    bool entered_;
  };

  bool Busy() const { return busy_; }

 private:
  bool busy_ = false;
};

}  // namespace stampwise
