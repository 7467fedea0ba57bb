// IntervalOfTimeImpulse credits Impulse_Function for every firing whose time
// lies in [StartTime, StopTime], both ends included. A time-averaged impulse is
// divided by the observed length when the run ends (completeAccumulation), never
// when the observation completes through Accumulate.
#ifndef REWARDS_INTERVALOFTIMEIMPULSE_H
#define REWARDS_INTERVALOFTIMEIMPULSE_H

#include "rewards/ImpulseNodeClass.h"

class IntervalOfTimeImpulse : public ImpulseNodeClass {
 public:
  IntervalOfTimeImpulse() : TimeAveraged(false) {}
  explicit IntervalOfTimeImpulse(bool timeAveraged) : TimeAveraged(timeAveraged) {}

  void completeAccumulation(double t) override;
  // t is not used: the firing being credited happened at lastT.
  void Accumulate(double t, double lastT) override;
  double CurrentImpulse() override;
  void Reset() override;

  bool TimeAveraged;

 protected:
  // Whether a firing at lastT earns the impulse.
  bool Credits(double lastT) const { return StartTime <= lastT && lastT <= StopTime; }
};

#endif
