// GeneratedActivity is the base of the activities the C++ generator writes:
// an Activity with the answers of an instantaneous activity of rank 1 and
// weight 1 (a generated class overrides what its model says otherwise), and
// the two helpers generated code relies on: Link caches a place's marking
// pointer and registers it, so that a join's merge redirects it; Remember
// stores a predicate's result as Enabled() must.
//
// Ownership: the cached pointers point into places the activity does not own.
#ifndef CODEGEN_GENERATEDACTIVITY_H
#define CODEGEN_GENERATEDACTIVITY_H

#include "Cpp/BaseClasses/Activity.h"
#include "Cpp/BaseClasses/state/Place.h"

class GeneratedActivity : public Activity {
 public:
  double Weight() override { return 1.0; }
  double Rate() override { return 0.0; }
  bool ReactivationPredicate() override { return false; }
  bool ReactivationFunction() override { return false; }
  double SampleDistribution() override { return 0.0; }
  double* ReturnDistributionParameters() override { return nullptr; }
  int Rank() override { return 1; }
  bool TimingIsInstantaneous() override { return true; }

 protected:
  static void Link(Place* place, short** cache) {
    *cache = place->Mark;
    place->registerPointer(cache, nullptr);
  }
  bool Remember(bool enabledNow) {
    EnabledBefore = EnabledNow;
    EnabledNow = enabledNow;
    return EnabledNow;
  }
};

#endif
