#include "trace/TraceStateWalk.h"

#include "Cpp/BaseClasses/BaseModelClass.h"
#include "Cpp/BaseClasses/SANModel.h"

std::string PrintedName(const BaseStateVariableClass* v) {
  if (v->Prefix.empty()) return v->Name;
  return v->Prefix + "." + v->Name;
}

StateVariableRange LocalStateVariables(BaseModelClass* model) {
  StateVariableRange range;
  if (model->GetModelType() != BaseModelClass::SAN_MODEL_TYPE) return range;
  // NumStateVariables also counts the read-only places, which the array of
  // own places does not hold.
  auto* san = static_cast<SANModel*>(model);
  range.Items = san->GetLocalStateVariables(nullptr);
  range.Count = range.Items ? san->getNumPlaces() : 0;
  return range;
}

StateVariableRange SharedStateVariables(BaseModelClass* model) {
  StateVariableRange range;
  if (model->GetModelType() == BaseModelClass::SAN_MODEL_TYPE) return range;
  range.Items = model->GetSharedStateVariables();
  range.Count = range.Items ? model->NumSharedStateVariables : 0;
  return range;
}
