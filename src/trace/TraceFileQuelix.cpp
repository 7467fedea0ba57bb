#include "trace/TraceFileQuelix.h"

#include <iostream>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/BaseModelClass.h"
#include "rewards/PVModel.h"
#include "trace/TraceStateWalk.h"

std::ostream* trout = &std::cout;

namespace {
const char kStars[] = "**************************************";
}  // namespace

TraceFileQuelix::TraceFileQuelix() = default;

TraceFileQuelix::TraceFileQuelix(const char* name) : TraceFile(name) { trout = Stream; }

TraceFileQuelix::TraceFileQuelix(std::ostream* stream) : TraceFile(stream) { trout = Stream; }

TraceFileQuelix::~TraceFileQuelix() = default;

void TraceFileQuelix::endLine() { *Stream << std::endl; }

void TraceFileQuelix::printVariable(const char* indent, BaseStateVariableClass* v) {
  *Stream << indent << PrintedName(v) << " = ";
  v->printStateVal(Stream);
  endLine();
}

void TraceFileQuelix::printHeader(PVModel*) {
  if (Stream == nullptr) return;
  *Stream << kStars;
  endLine();
  *Stream << "\t\tTRACE";
  endLine();
  *Stream << kStars;
  endLine();
}

void TraceFileQuelix::printFooter() {}

void TraceFileQuelix::newBatch() {
  if (Stream == nullptr) return;
  *Stream << "##### NEW BATCH #####";
  endLine();
}

void TraceFileQuelix::printInitialState(BaseModelClass* model) {
  if (Stream == nullptr || model == nullptr) return;
  *Stream << "Initial Model State:";
  endLine();
  printState(model);
}

void TraceFileQuelix::printState(PVModel* model) {
  if (Stream == nullptr || model == nullptr) return;
  *Stream << "Model State:";
  endLine();
  printState(model->ChildModel);
}

// The model, then its children depth-first. A composed model lists no
// variables of its own: its shared places show under each child that shares
// them.
void TraceFileQuelix::printState(BaseModelClass* model) {
  if (Stream == nullptr || model == nullptr) return;
  *Stream << "  Model: (" << model->ModelId << ")" << model->Name;
  endLine();
  ForEachLeaf(LocalStateVariables(model), [this](BaseStateVariableClass* leaf) { printVariable("    ", leaf); });
  for (int i = 0; i < model->GetNumberOfChildren(); i++) printState(model->GetChild(i));
}

void TraceFileQuelix::printFireAction(BaseActionClass* action, double time) {
  if (Stream == nullptr || Level < 1) return;
  BaseModelClass* parent = action->ParentModel;
  *Stream << "#### Firing: " << time << "  Action: (" << parent->ModelId << ")" << parent->Name << "->"
          << action->Name;
  endLine();
}

void TraceFileQuelix::printPreFireAction(BaseActionClass* action) {
  if (Stream == nullptr || Level < 2) return;
  *Stream << "Enabling state before action firing:";
  endLine();
  const List<BaseStateVariableClass>& enabling = action->getPrintedAction()->EnablingSVs;
  for (int i = 0; i < enabling.getNumItems(); i++) printVariable("  ", enabling.getItem(i));
}

void TraceFileQuelix::printPostFireAction(BaseActionClass* group, BaseActionClass* fired) {
  if (Stream == nullptr || Level < 1) return;
  *Stream << "#### After: (" << group->ParentModel->ModelId << ")" << group->Name << "->" << fired->Name;
  endLine();
  if (Level < 2) return;
  *Stream << "Affected state after firing: ";
  endLine();
  const List<BaseStateVariableClass>& affected = fired->AffectedSVs;
  for (int i = 0; i < affected.getNumItems(); i++) printVariable("  ", affected.getItem(i));
}
