#include "Cpp/BaseClasses/Activity.h"

Activity::Activity() : EnabledNow(false), EnabledBefore(false) {
  Disabled = true;
  Reactivation = false;
  SelectedAction = this;
}

bool Activity::EnablingChange() {
  Enabled();
  return EnabledNow != EnabledBefore;
}
