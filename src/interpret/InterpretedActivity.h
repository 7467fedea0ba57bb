// InterpretedActivity is one activity of a model file, or one case of an
// activity with cases: an Activity whose enabling predicate, firing effect,
// weight, rank, reactivation questions and delay come from the checked
// model, run through the san's compiled code. A case shares the activity's
// predicate and timing and adds its own weight and effect, run after the
// activity's common effect.
//
// The activity declares what the simulator may rely on: its enabling test is
// pure when the predicate names no place outside the activity's enabling
// arcs (the language has no random numbers and expressions change nothing),
// and an effect that ends in an if/else-if chain has one firing variant per
// branch (the last one: no branch taken), each writing only the places its
// own branch, the statements before the chain and the case's effect write.
//
// Layout: an activity starts a cache line, so the fields its common paths
// read (kept together after the framework's) fall in the same two lines of
// every activity, which it names through HotLines; in a model of
// thousands, those are the lines a firing waits for, and the event list
// asks for them a firing ahead.
//
// Ownership: the san owns its activities and the compiled code they use.
// Locals are the activity's own fixed storage: nothing is allocated per
// event. Not thread-safe: used by the simulation thread only.
#ifndef INTERPRET_INTERPRETEDACTIVITY_H
#define INTERPRET_INTERPRETEDACTIVITY_H

#include <cstdint>
#include <memory>
#include <vector>

#include "Cpp/BaseClasses/Activity.h"
#include "interpret/CompiledCode.h"
#include "interpret/InlineArray.h"
#include "interpret/ShortArray.h"
#include "model/CheckedModel.h"

namespace saninterp {

class alignas(64) InterpretedActivity : public Activity {
 public:
  // caseIndex: the case this activity stands for, or -1 for an activity
  // without cases. decl must outlive the activity.
  InterpretedActivity(const sanmodel::ActivityDecl& decl, int caseIndex);

  // Compiles the activity's code into code (which must outlive it); the
  // scope names the san's places, whose cells are final.
  void Compile(CompiledCode* code, const CompileScope& scope);

  bool Enabled() override;
  BaseActionClass* Fire() override;
  double Weight() override;
  double Rate() override;
  int Rank() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  double* ReturnDistributionParameters() override;
  bool TimingIsInstantaneous() override;
  bool EnablingIsPure() override { return PureEnabling; }
  // The cell of the first marking test that only a positive marking passes.
  const short* RequiredMarking() override;
  // True when that test is the whole predicate and passes every positive
  // marking.
  bool EnablingIsRequiredMarking() override;
  int FiringVariants() override { return Variants ? static_cast<int>(Variants->VariantCells.size()) : 1; }
  bool VariantMayWrite(int variant, const BaseStateVariableClass* v) override;
  // The lines from the framework's enabling history to the tests.
  unsigned HotLines() override;
  void LinkVariables() override {}

 private:
  // Evaluates the delay parameters into Parameters; false (after raising a
  // fault) when one lies outside the distribution's domain.
  bool EvaluateParameters();
  // Splits an effect that ends in an if/else-if chain into the statements
  // before it and the chain's conditions and branches, and lists the cells
  // each branch alone writes.
  void CompileChain(const sanmodel::Effect& effect, const CompileScope& scope);
  // Runs the chain compiled by CompileChain and records the branch taken.
  // Out of line, so that Fire's common path (constant steps) keeps its
  // short entry.
  [[gnu::noinline]] void RunChain();
  void CompileConstants();

  // What a firing, its delay, an enabling test and the question of
  // reactivation read on their common paths, right after the framework's
  // fields: the flags and lengths (14 bytes from the tail of the
  // framework's last line; in this order they leave no gap), then the
  // delay's parameters, the steps and the tests (80 bytes). With the
  // framework's enabling history, that is two cache lines of every activity
  // (HotLines). The fast paths, when the predicate and the effect have their
  // common shapes (see CompiledCode::MarkingTests and MarkingSteps):
  // TestsOnly (no predicate: no tests) and StepsOnly. Two of each held
  // here, what the common shapes need (a test or two, a step or two, a
  // distribution of up to two parameters); longer ones in the Far vectors.
  bool TestsOnly = false;
  bool StepsOnly = false;
  sanmodel::DistKind Distribution;  // the declaration's, read by every delay
  std::uint16_t TestCount = 0;
  std::uint16_t StepCount = 0;
  std::uint16_t ConstantCount = 0;  // the number of parameters, when constant
  bool ConstantParameters = false;  // Parameters hold them, checked, from Compile on
  bool AsksReactivation = false;    // there is a reactivation predicate
  ShortArray<double, 2> Parameters;
  ShortArray<MarkingStep, 2> Steps;
  ShortArray<MarkingTest, 2> Tests;
  // The general paths, ties and faults.
  CompiledCode* Code = nullptr;
  bool ConstantWeight = true;
  bool ConstantRank = false;
  bool PureEnabling = false;
  int EnabledRoot = -1;
  int ReactivationRoot = -1;
  int RankValue = 0;
  const sanmodel::ActivityDecl& Decl;
  double WeightValue = 1.0;
  InlineArray<Slot, 1> Locals;
  const int CaseIndex;
  int FireRoot = -1;
  int CaseRoot = -1;
  int WeightRoot = -1;
  int RankRoot = -1;
  int ReactivateRoot = -1;
  InlineArray<int, 2> ParameterRoots;
  // Tests, steps or parameters too many to hold above.
  std::vector<double> FarParameters;
  std::vector<MarkingStep> FarSteps;
  std::vector<MarkingTest> FarTests;
  // The effect split around its trailing if/else-if chain: Prefix (or -1),
  // then the first branch whose condition holds, or Else (or nothing).
  // Per variant, the cells of the scalar places its branch writes; and the
  // cells some branch writes that nothing else in the firing may write.
  // Kept apart, and only for an activity that has a chain: a model of many
  // activities pays one pointer each.
  struct Chain {
    int Prefix = -1;
    std::vector<int> Conditions;
    std::vector<int> Branches;
    int Else = -1;
    std::vector<std::vector<const short*>> VariantCells;
    std::vector<const short*> ChainOnlyCells;
  };
  std::unique_ptr<Chain> Variants;
};

}  // namespace saninterp

#endif
