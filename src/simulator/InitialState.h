// InitialState is the state every terminating replication starts from: the
// model's state when the run began, saved once and put back after each
// replication. Put back, it is exactly what the model's SetState of the saved
// bytes gives; when the model lists its state as plain cells
// (BaseModelClass::ListStateCells), it is written cell by cell from a table
// made once, without a walk of the model tree.
//
// Ownership: the state borrows the model, which must outlive it; the cells
// point into the model's storage, which does not move once the model is
// built.
#ifndef SIMULATOR_INITIAL_STATE_H
#define SIMULATOR_INITIAL_STATE_H

#include <vector>

class BaseModelClass;

class InitialState {
 public:
  // Saves model's current state.
  explicit InitialState(BaseModelClass* model);
  InitialState(const InitialState&) = delete;
  InitialState& operator=(const InitialState&) = delete;

  // Gives the model the saved state again.
  void Restore();
  const std::vector<char>& Bytes() const { return Saved; }
  // Whether Restore writes the cells itself.
  bool RestoresByCell() const { return ByCell; }

 private:
  // A two-byte cell (every place's marking) with its saved value, restored
  // by one store in a loop that tests nothing else; any other cell, by its
  // place in the saved bytes. Every cell holds what was saved from its
  // address, so the order of the two loops changes nothing.
  struct ShortCell {
    short* Address;
    short Value;
  };
  struct Cell {
    void* Address;
    int Offset;
    int Size;
  };

  BaseModelClass* Model;
  std::vector<char> Saved;
  std::vector<ShortCell> ShortCells;
  std::vector<Cell> OtherCells;
  bool ByCell = false;
};

#endif
