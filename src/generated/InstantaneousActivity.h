// InstantaneousActivity is the common base of the generated activities of the
// GPU model: every one of them has distribution code 18, execution policy 1,
// weight 1 (a case of an activity with cases overrides Weight), rank 1, no
// reactivation, a zero firing delay (drawing no random number), rate 0, no
// distribution parameters, and an enabling test that reads only its enabling
// places. It also caches marking pointers for the
// activities: a cached pointer is registered with its place, so that a merge
// of the place into a shared group redirects it to the group's cell.
//
// Ownership: the cached pointers point into places the activity does not own.
#ifndef GENERATED_INSTANTANEOUS_ACTIVITY_H
#define GENERATED_INSTANTANEOUS_ACTIVITY_H

#include "Cpp/BaseClasses/Activity.h"
#include "Cpp/BaseClasses/state/Place.h"

class InstantaneousActivity : public Activity {
 public:
  double Weight() override;
  double Rate() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  double* ReturnDistributionParameters() override;
  int Rank() override;
  bool TimingIsInstantaneous() override { return true; }
  // Every enabling test of the model is a predicate over the activity's
  // enabling places.
  bool EnablingIsPure() override { return true; }

 protected:
  // Points *cache at place's marking and registers cache with the place.
  static void Link(Place* place, short** cache);
  // Stores the predicate's result as Enabled() must: the previous result is
  // kept for EnablingChange(). Inline: every Enabled() ends here.
  bool Remember(bool enabledNow) {
    EnabledBefore = EnabledNow;
    EnabledNow = enabledNow;
    return EnabledNow;
  }
};

#endif
