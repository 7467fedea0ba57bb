// SANModel is an atomic stochastic activity network: a fixed set of places,
// read-only places, activities and groups handed over by the generated
// model's constructor through initializeSANModelNow.
//
// A SAN saves exactly its unshared places, in Places order: a place merged
// into a join's shared variable is saved by the join.
//
// Ownership: the model owns its four pointer arrays, not the objects in them
// (the generated subclass owns its places, activities and groups).
#ifndef SAN_MODEL_H
#define SAN_MODEL_H

#include "Cpp/BaseClasses/Activity.h"
#include "Cpp/BaseClasses/BaseModelClass.h"
#include "Cpp/BaseClasses/ByteState.h"
#include "Cpp/BaseClasses/state/Place.h"

class SANModel : public BaseModelClass {
 public:
  // The saved state of one SAN: its unshared places' bytes.
  class LocalState : public ByteState {
   public:
    explicit LocalState(int size) : ByteState(size, "SANModel", 469) {}
    using ByteState::operator=;
    void SetState(const BaseModelClass* m) const override;
    void GetState(const BaseModelClass* m) override;
  };

  SANModel();
  SANModel(const char* name, int numPlaces, BaseStateVariableClass** places, int numReadOnly,
           BaseStateVariableClass** readOnly, int numActions, Activity** actions, int numGroups,
           BaseGroupClass** groups);
  ~SANModel() override;

  void initializeSANModelNow(const char* name, int numPlaces, BaseStateVariableClass** places, int numReadOnly,
                             BaseStateVariableClass** readOnly, int numActions, Activity** actions, int numGroups,
                             BaseGroupClass** groups);
  // Copy the counted number of pointers into the existing arrays.
  void SetPlaces(BaseStateVariableClass** places);
  void SetReadOnlyPlaces(BaseStateVariableClass** readOnly);
  void SetActions(Activity** actions);
  void SetGroups(BaseGroupClass** groups);
  void PrintSANModelInfo();
  int getNumPlaces() const { return NumStateVariables - NumReadOnlyPlaces; }

  void listModels(const char* name, List<BaseModelClass>* out) override;
  void CurrentState(void* to) override;
  void listActions(List<BaseActionClass>* out) override;
  void listGroups(List<BaseGroupClass>* out) override;
  void SetState(void* from) override;
  bool ListStateCells(int offset, std::vector<StateCell>* out) override;
  int StateSize() override;
  bool CompareState(void* a, void* b) override;
  // Only the first action of that name.
  void listActions(const char* name, List<BaseActionClass>* out) override;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
               List<BaseModelClass>* models) override;
  using BaseModelClass::printState;
  void printState(std::ostream* os) override;
  BaseStateVariableClass** GetLocalStateVariables(std::ostream* os) override;
  int GetModelType() override { return SAN_MODEL_TYPE; }
  int GetNumberOfChildren() override { return 0; }
  BaseModelClass* GetChild(int i) override;
  // The actions of this model that touch a place shared with another model,
  // each once, in descending ActionID order.
  void GetGlobalActions(std::forward_list<BaseActionClass*>& out) override;
  // The other actions, put at the front of out in reverse Actions order.
  void GetLocalActions(std::forward_list<BaseActionClass*>& out) override;
  bool HasLocalState() override { return StateSize() > 0; }
  void GetLocalState(State* s) override { s->GetState(this); }
  void SetLocalState(const State* s) override { s->SetState(this); }
  void ConstructLocalState(State*& s) override { s = new LocalState(StateSize()); }
  void DestructLocalState(State* s) override { delete s; }

  BaseStateVariableClass** Places;
  BaseStateVariableClass** ReadOnlyPlaces;
  int NumReadOnlyPlaces;

 private:
  void freeArrays();
};

// Whether the model's array holds exactly the given pointers, in order.
bool checkLocalSVs(SANModel* model, Place** places);
bool checkReadOnlyPlaces(SANModel* model, BaseStateVariableClass** readOnly);
bool checkLocalActions(SANModel* model, Activity** actions);

#endif
