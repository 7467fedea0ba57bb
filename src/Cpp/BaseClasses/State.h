// State is the saved state of one model: a value that can be hashed, compared,
// printed, written to and read from a file, copied, and moved in and out of
// the model it belongs to.
#ifndef STATE_H
#define STATE_H

#include <cstdio>

class BaseModelClass;

class State {
 public:
  State() = default;
  State(const State&) = delete;

  virtual int hash() const { return 1; }
  // 0 when equal, otherwise non-zero (a three-way order where the kind has one).
  virtual int compare(const State&) const { return 1; }
  virtual void print() const = 0;
  // Both return true on failure (fewer bytes transferred than expected).
  virtual bool fwriteState(FILE* f) const = 0;
  virtual bool freadState(FILE* f) = 0;
  virtual State& operator=(const State& other) = 0;
  virtual ~State() = default;
  virtual void SetState(const BaseModelClass* m) const = 0;
  virtual void GetState(const BaseModelClass* m) = 0;
  virtual void* GetStatePtr() const = 0;
};

#endif
