// TraceFileXML writes the trace as an XML document for a message-sequence
// chart viewer (document type in trace.dtd at the top of the source tree):
// the processes (one per model) with their state variables and local
// actions, the interactions (actions that change state shared between
// processes), and the sequence of the initial state and the firings.
//
// Only the first batch of a run is traced: printHeader opens the document
// while no batch has begun, the first newBatch starts the sequence and the
// second closes the document; everything after that is ignored. The trace
// level is not used. Every line is flushed at once.
//
// A shared variable is declared once, by the outermost join that shares it;
// state variables are matched by printed name, and when several models
// declared a name the one with the smallest model number counts.
//
// Ownership: as TraceFile. The models and actions handed to the events are
// only read; the names this trace keeps are its own copies.
#ifndef TRACE_FILE_XML_H
#define TRACE_FILE_XML_H

#include <map>
#include <string>
#include <vector>

#include "trace/TraceFile.h"

class BaseStateVariableClass;

class TraceFileXML : public TraceFile {
 public:
  TraceFileXML();
  explicit TraceFileXML(const char* name);
  explicit TraceFileXML(std::ostream* stream);

  // The document header, the process declarations and the interactions;
  // only before the first batch.
  void printHeader(PVModel* model) override;
  void printFooter() override;
  void printInitialState(BaseModelClass* model) override;
  void printState(BaseModelClass* model) override;
  void printState(PVModel* model) override;
  void printFireAction(BaseActionClass* action, double time) override;
  void printPreFireAction(BaseActionClass* action) override;
  void printPostFireAction(BaseActionClass* group, BaseActionClass* fired) override;
  void newBatch() override;
  ~TraceFileXML() override;

  // The process of model and, for a join, those of its children after it.
  void printHeader(BaseModelClass* model, int parentId);
  // The Undiraction elements of model's actions, then of its children's.
  void printHeaderInteractions(BaseModelClass* model);
  // Records name as declared by modelId unless a join at or outside parentId
  // declared it already. Returns whether it was recorded.
  bool addUsedStateName(const char* name, int parentId, int modelId);
  bool inUsedStateName(const char* name) const;
  // The smallest model number, at most limit, of a model that declared a Var
  // of this printed name; -1 when there is none.
  int getModelMap(const char* name, int limit) const;
  // Appends name unless present; returns whether it was appended.
  bool addState(const char* name);

  int getBatchCount() const { return BatchCount; }

 private:
  void printAtomicProcess(BaseModelClass* model, std::vector<std::string>& vars);
  void printJoinProcess(BaseModelClass* model, std::vector<std::string>& vars);
  void printVarDeclaration(int modelId, const std::string& name);
  void printUndiraction(BaseActionClass* action, int modelId);
  // The model number to cite in a V element for a variable of model modelId.
  int ownerId(BaseStateVariableClass* v, int modelId) const;
  bool isDeclaredAction(const BaseActionClass* action) const;
  // Writes text with the characters XML reserves replaced by references.
  void writeEscaped(const std::string& text);
  void endLine();

  std::vector<std::string> DeclaredStates;
  std::vector<std::string> UsedStateNames;
  // Parallel to UsedStateNames; element 0 of each is the model that declared it.
  std::vector<std::vector<int>> FirstUsers;
  std::vector<const BaseActionClass*> DeclaredActions;
  int BatchCount;
  double FireTime;
  // Model number -> printed names it declared as Var, in declaration order.
  std::map<int, std::vector<std::string>> ModelMap;
};

#endif
