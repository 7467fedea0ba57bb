#include "rewards/IntervalOfTimeImpulse.h"

void IntervalOfTimeImpulse::completeAccumulation(double t) {
  if (!TimeAveraged) return;
  const double length = min(t, StopTime) - StartTime;
  // A run that ends at or before the start observed no time to average over;
  // dividing would turn the sum into an infinity or a NaN.
  if (length > 0.0) Value = Value / length;
}

void IntervalOfTimeImpulse::Accumulate(double, double lastT) {
  if (Credits(lastT)) Value += Impulse_Function(lastT);
}

double IntervalOfTimeImpulse::CurrentImpulse() {
  Value = Impulse_Function(0.0);
  return Value;
}

void IntervalOfTimeImpulse::Reset() { Value = 0.0; }
