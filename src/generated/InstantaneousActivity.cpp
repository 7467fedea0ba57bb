#include "generated/InstantaneousActivity.h"

double InstantaneousActivity::Weight() { return 1.0; }
double InstantaneousActivity::Rate() { return 0.0; }
bool InstantaneousActivity::ReactivationPredicate() { return false; }
bool InstantaneousActivity::ReactivationFunction() { return false; }
double InstantaneousActivity::SampleDistribution() { return 0.0; }
double* InstantaneousActivity::ReturnDistributionParameters() { return nullptr; }
int InstantaneousActivity::Rank() { return 1; }

void InstantaneousActivity::Link(Place* place, short** cache) {
  *cache = place->Mark;
  place->registerPointer(cache, nullptr);
}
