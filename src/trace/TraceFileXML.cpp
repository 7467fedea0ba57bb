#include "trace/TraceFileXML.h"

#include <algorithm>
#include <limits>
#include <ostream>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/BaseModelClass.h"
#include "rewards/PVModel.h"
#include "trace/TraceStateWalk.h"

namespace {

bool isAtomic(BaseModelClass* model) { return model->GetModelType() == BaseModelClass::SAN_MODEL_TYPE; }

template <class T>
bool contains(const std::vector<T>& items, const T& x) {
  return std::find(items.begin(), items.end(), x) != items.end();
}

}  // namespace

TraceFileXML::TraceFileXML() : BatchCount(-1), FireTime(0.0) {}

TraceFileXML::TraceFileXML(const char* name) : TraceFile(name), BatchCount(-1), FireTime(0.0) {}

TraceFileXML::TraceFileXML(std::ostream* stream) : TraceFile(stream), BatchCount(-1), FireTime(0.0) {}

TraceFileXML::~TraceFileXML() = default;

void TraceFileXML::endLine() { *Stream << std::endl; }

void TraceFileXML::writeEscaped(const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '&': *Stream << "&amp;"; break;
      case '<': *Stream << "&lt;"; break;
      case '>': *Stream << "&gt;"; break;
      case '"': *Stream << "&quot;"; break;
      default: *Stream << c;
    }
  }
}

// ---------------------------------------------------------------------------
// Document header: processes and interactions
// ---------------------------------------------------------------------------

void TraceFileXML::printHeader(PVModel* pv) {
  if (Stream == nullptr || BatchCount != -1) return;
  BaseModelClass* top = pv ? pv->ChildModel : nullptr;
  *Stream << "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";
  endLine();
  *Stream << "<!DOCTYPE Trace";
  endLine();
  *Stream << "  SYSTEM \"trace.dtd\">";
  endLine();
  *Stream << "<Trace model=\"Example_Quelix\" generator=\"manually_generated\" >";
  endLine();
  *Stream << "<Comment> Purpose of this trace: demonstration </Comment>";
  endLine();
  *Stream << "<!-- TESTING declaration of processes -->";
  endLine();
  *Stream << "<!-- Trace file of model Example_Quelix -->";
  endLine();
  if (top) printHeader(top, top->ModelId);
  *Stream << "<Interactions>";
  endLine();
  if (top) printHeaderInteractions(top);
  *Stream << "</Interactions>";
  endLine();
  *Stream << "<!-- process sequence -->";
  endLine();
  *Stream << "<Sequence type=\"StateActionType\">";
  endLine();
}

void TraceFileXML::printHeader(BaseModelClass* model, int parentId) {
  if (Stream == nullptr || BatchCount != -1) return;
  std::vector<std::string> vars;
  *Stream << "<Process id=\"p" << model->ModelId << "\" name=\"";
  writeEscaped(model->Name);
  if (isAtomic(model)) *Stream << model->ModelId;
  *Stream << "\" >";
  endLine();
  model->SetParentId(parentId);
  if (isAtomic(model)) {
    printAtomicProcess(model, vars);
  } else {
    printJoinProcess(model, vars);
  }
  ModelMap[model->ModelId] = std::move(vars);
}

// Local actions (those that change no state shared under a declared name),
// then the unshared variables.
void TraceFileXML::printAtomicProcess(BaseModelClass* model, std::vector<std::string>& vars) {
  for (int i = 0; i < model->NumActions; i++) {
    BaseActionClass* action = model->Actions[i];
    const List<BaseStateVariableClass>& affected = action->AffectedSVs;
    bool touchesShared = false;
    for (int k = 0; k < affected.getNumItems() && !touchesShared; k++)
      touchesShared = inUsedStateName(PrintedName(affected.getItem(k)).c_str());
    if (touchesShared) continue;
    DeclaredActions.push_back(action);
    *Stream << "<Action id=\"a" << action->ActionID << "\" name=\"";
    writeEscaped(action->Name);
    *Stream << "\" />";
    endLine();
  }
  ForEachLeaf(LocalStateVariables(model), [&](BaseStateVariableClass* leaf) {
    if (leaf->getShared()) return;
    vars.push_back(PrintedName(leaf));
    printVarDeclaration(model->ModelId, vars.back());
  });
  *Stream << "</Process>";
  endLine();
}

// The shared variables this join is the outermost to share; the children's
// processes follow this one rather than nest in it.
void TraceFileXML::printJoinProcess(BaseModelClass* model, std::vector<std::string>& vars) {
  ForEachLeaf(SharedStateVariables(model), [&](BaseStateVariableClass* leaf) {
    if (!leaf->getShared()) return;
    std::string name = PrintedName(leaf);
    if (!addUsedStateName(name.c_str(), model->ParentId, model->ModelId)) return;
    vars.push_back(name);
    printVarDeclaration(model->ModelId, name);
  });
  *Stream << "</Process>";
  endLine();
  for (int i = 0; i < model->GetNumberOfChildren(); i++) printHeader(model->GetChild(i), model->ModelId);
}

void TraceFileXML::printVarDeclaration(int modelId, const std::string& name) {
  *Stream << "<Var id=\"p" << modelId;
  writeEscaped(name);
  *Stream << "\" name=\"";
  writeEscaped(name);
  *Stream << "\" />";
  endLine();
}

void TraceFileXML::printHeaderInteractions(BaseModelClass* model) {
  if (Stream == nullptr) return;
  if (isAtomic(model)) {
    for (int i = 0; i < model->NumActions; i++) {
      BaseActionClass* action = model->Actions[i];
      if (!isDeclaredAction(action)) printUndiraction(action, model->ModelId);
    }
  }
  for (int i = 0; i < model->GetNumberOfChildren(); i++) printHeaderInteractions(model->GetChild(i));
}

void TraceFileXML::printUndiraction(BaseActionClass* action, int modelId) {
  std::vector<int> touched;
  const List<BaseStateVariableClass>& affected = action->AffectedSVs;
  for (int k = 0; k < affected.getNumItems(); k++) {
    std::string name = PrintedName(affected.getItem(k));
    if (!inUsedStateName(name.c_str())) continue;
    int id = getModelMap(name.c_str(), modelId);
    if (id != -1 && !contains(touched, id)) touched.push_back(id);
  }
  if (touched.empty()) return;
  if (!contains(touched, modelId)) touched.push_back(modelId);
  *Stream << "<Undiraction id=\"a" << action->ActionID << "\" name=\"";
  writeEscaped(action->Name);
  *Stream << "\">";
  endLine();
  for (int id : touched) *Stream << "<Touch>p" << id << "</Touch>";
  *Stream << "</Undiraction>";
  endLine();
}

bool TraceFileXML::isDeclaredAction(const BaseActionClass* action) const {
  return contains(DeclaredActions, action);
}

bool TraceFileXML::addUsedStateName(const char* name, int parentId, int modelId) {
  auto it = std::find(UsedStateNames.begin(), UsedStateNames.end(), name);
  if (it != UsedStateNames.end() && parentId >= FirstUsers[it - UsedStateNames.begin()][0]) return false;
  UsedStateNames.emplace_back(name);
  FirstUsers.push_back({modelId});
  return true;
}

bool TraceFileXML::inUsedStateName(const char* name) const {
  return std::find(UsedStateNames.begin(), UsedStateNames.end(), name) != UsedStateNames.end();
}

int TraceFileXML::getModelMap(const char* name, int limit) const {
  for (const auto& entry : ModelMap) {
    if (entry.first > limit) break;
    if (std::find(entry.second.begin(), entry.second.end(), name) != entry.second.end()) return entry.first;
  }
  return -1;
}

bool TraceFileXML::addState(const char* name) {
  if (std::find(DeclaredStates.begin(), DeclaredStates.end(), name) != DeclaredStates.end()) return false;
  DeclaredStates.emplace_back(name);
  return true;
}

// ---------------------------------------------------------------------------
// Sequence: written during the first batch only
// ---------------------------------------------------------------------------

void TraceFileXML::printInitialState(BaseModelClass* model) {
  if (Stream != nullptr && BatchCount == 0 && model != nullptr) {
    *Stream << "<S>";
    endLine();
    printState(model);
    *Stream << "</S>";
    endLine();
  }
  DeclaredStates.clear();
}

void TraceFileXML::printState(BaseModelClass* model) {
  if (Stream == nullptr || BatchCount != 0 || model == nullptr) return;
  auto printValue = [this](int owner, BaseStateVariableClass* leaf) {
    *Stream << "<V id=\"p" << owner;
    writeEscaped(PrintedName(leaf));
    *Stream << "\" val=\"";
    leaf->printStateVal(Stream);
    *Stream << "\" />";
    endLine();
  };
  if (isAtomic(model)) {
    ForEachLeaf(LocalStateVariables(model), [&](BaseStateVariableClass* leaf) {
      if (!leaf->getShared()) printValue(model->ModelId, leaf);
    });
    return;
  }
  ForEachLeaf(SharedStateVariables(model), [&](BaseStateVariableClass* leaf) {
    if (leaf->getShared()) printValue(getModelMap(PrintedName(leaf).c_str(), model->ModelId), leaf);
  });
  for (int i = 0; i < model->GetNumberOfChildren(); i++) printState(model->GetChild(i));
}

void TraceFileXML::printState(PVModel*) {}

void TraceFileXML::printFooter() {}

void TraceFileXML::printFireAction(BaseActionClass*, double time) { FireTime = time; }

void TraceFileXML::printPreFireAction(BaseActionClass*) {}

void TraceFileXML::printPostFireAction(BaseActionClass*, BaseActionClass* fired) {
  if (Stream == nullptr || BatchCount != 0) return;
  *Stream << "<A id=\"a" << fired->ActionID << "\" t=\"" << FireTime << "\">";
  endLine();
  const int modelId = fired->ParentModel->ModelId;
  const List<BaseStateVariableClass>& affected = fired->AffectedSVs;
  for (int k = 0; k < affected.getNumItems(); k++) {
    BaseStateVariableClass* v = affected.getItem(k);
    *Stream << "  <V id=\"p" << ownerId(v, modelId);
    writeEscaped(PrintedName(v));
    *Stream << "\"  val=\"";
    v->printStateVal(Stream);
    *Stream << "\" />";
    endLine();
  }
  *Stream << "</A>";
  endLine();
}

int TraceFileXML::ownerId(BaseStateVariableClass* v, int modelId) const {
  if (!v->getShared()) return modelId;
  return getModelMap(PrintedName(v).c_str(), modelId);
}

// The first call, made before the first batch, opens the sequence; the second
// closes the document.
void TraceFileXML::newBatch() {
  const int before = BatchCount;
  if (BatchCount < std::numeric_limits<int>::max()) BatchCount++;
  if (before != 0 || Stream == nullptr) return;
  *Stream << "</Sequence>";
  endLine();
  *Stream << "</Trace>";
  endLine();
}
