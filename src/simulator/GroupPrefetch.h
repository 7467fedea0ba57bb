// GroupPrefetch asks the processor, a firing ahead, for the lines of a group
// that its firing will read: its first two, which every group's firing
// reads (virtual table pointer, schedule record, affected groups), and up to
// two more that the model's groups name through HotLines() (an
// interpreted activity's tests, steps and delay parameters, for one). In a
// model too large for the cache, each is otherwise a miss the firing waits
// for. A hint only: nothing it does changes a result.
//
// A plain value, set once when the simulator installs the model and read by
// the event list on every removal. Not thread-safe.
#ifndef SIMULATOR_GROUPPREFETCH_H
#define SIMULATOR_GROUPPREFETCH_H

class BaseGroupClass;

class GroupPrefetch {
 public:
  // The lines beyond the first two that most of groups[0..n) name through
  // HotLines(), two at most (the line named most often first, the lower one
  // of equals), and no others.
  void Learn(BaseGroupClass* const* groups, int n);
  // Asks for the lines of group (any group of the model learnt).
  void Ask(const void* group) const {
    const char* g = static_cast<const char*>(group);
    __builtin_prefetch(g);
    __builtin_prefetch(g + kLine);
    if (!HasExtra) return;
    __builtin_prefetch(g + Extra[0]);
    __builtin_prefetch(g + Extra[1]);
  }
  // The byte offsets of the two further lines asked for (kLine, the second
  // line again, when there are fewer).
  int ExtraOffset(int k) const { return Extra[k]; }

  static constexpr int kLine = 64;

 private:
  int Extra[2] = {kLine, kLine};
  bool HasExtra = false;  // a model whose groups name none asks for no more
};

#endif
