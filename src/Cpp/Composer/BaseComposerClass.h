// BaseComposerClass joins child models into one model through named shared
// state variables: each shared variable is owned by the composer and merged
// with one chosen variable of each child that takes part. The composed model's
// action and group lists are its children's, concatenated in child order, with
// the groups renumbered by their position so that action numbers are unique.
//
// Set-up order (the generated subclass follows it): construct; fill Children;
// SetupActions(); per shared variable in declaration order addSharedPtr, then
// per taking-part child ShareWith and addSharingInfo; finally Setup().
//
// Ownership: the composer owns its Actions and Groups arrays, its shared-name
// copies, member lists and link chains. The children and the shared variables
// are deleted by the generated subclass.
#ifndef BASE_COMPOSER_CLASS_H
#define BASE_COMPOSER_CLASS_H

#include <memory>
#include <string>
#include <vector>

#include "Cpp/BaseClasses/BaseModelClass.h"
#include "Cpp/Composer/SharedStateVarLink.h"

class BaseComposerClass : public BaseModelClass {
 public:
  BaseComposerClass(const char* name, int numChildren, int numShared, const char* const* sharedNames);
  ~BaseComposerClass() override;

  void listModels(const char* name, List<BaseModelClass>* out) override;
  void listActions(List<BaseActionClass>* out) override;
  void listGroups(List<BaseGroupClass>* out) override;
  bool CompareState(void* a, void* b) override;
  void listActions(const char* name, List<BaseActionClass>* out) override;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
               List<BaseModelClass>* models) override;
  using BaseModelClass::printState;
  void printState(std::ostream* os) override;
  BaseStateVariableClass** GetSharedStateVariables() override { return SharedStateVariables.data(); }
  // The shared variable (of this composer or, failing that, of a child
  // composer) that v was merged into; null when v is not shared.
  BaseStateVariableClass* getMainSharedVariable(BaseStateVariableClass* v) override;
  SharedStateVarLink* getListOfSharedVariables(BaseStateVariableClass* v) override;

  // REQUIRES: shared variables are registered in declaration order.
  void addSharedPtr(BaseStateVariableClass* v, const char* VarName);
  // REQUIRES: sharedVar has been merged with childVar.
  void addSharingInfo(BaseStateVariableClass* childVar, BaseStateVariableClass* sharedVar,
                      BaseModelClass* childModel);
  void SetupActions();
  void GeneralSetup();
  int SharedStateSize();
  bool AllChildrenEmpty();
  static unsigned Hash(const char* s, int n);
  void printAllSharedVariables();

  std::vector<BaseModelClass*> Children;
  int NumChildren;
  std::vector<BaseStateVariableClass*> SharedStateVariables;
  std::vector<SharedStateVarLink*> SharedVarLinks;
  std::vector<std::unique_ptr<List<BaseStateVariableClass>>> SharedVarMembers;
  std::vector<std::string> SharedStateNames;
  int AddedSharedPtrs;
  int CachedStateSize;
  int NumDistinctActionNames;

 private:
  void freeActionArrays();
};

#endif
