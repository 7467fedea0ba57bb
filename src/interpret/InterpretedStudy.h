// InterpretedStudy is the study of a model file: its global variables with
// their declared types, its experiments (sweeps expanded), and the reward
// model built from the checked model with the globals of the selected
// experiment and the overrides. It plays the part the built-in model's
// generated study plays, through the same base class, so the simulator
// selects experiments and applies -O identically for both.
//
// LoadStudy is the way in: it reads and checks the file and reports every
// problem, the way `gpusim --check` does.
//
// Ownership: the study owns its checked model, its global values and the
// last reward model it made (each GetPVModel replaces the previous one).
#ifndef INTERPRET_INTERPRETEDSTUDY_H
#define INTERPRET_INTERPRETEDSTUDY_H

#include <iosfwd>
#include <memory>
#include <string>

#include "interpret/GlobalValues.h"
#include "model/CheckedModel.h"
#include "rewards/BaseStudyClass.h"

namespace saninterp {

class InterpretedStudy : public BaseStudyClass {
 public:
  explicit InterpretedStudy(sanmodel::CheckedModel model);
  InterpretedStudy(const InterpretedStudy&) = delete;
  InterpretedStudy& operator=(const InterpretedStudy&) = delete;
  ~InterpretedStudy() override;

  PVModel* GetPVModel(bool expandTimePoints) override;
  // An experiment the file does not have is reported on the error stream and
  // ends the process with status 1, as for the built-in study.
  void SetGVs(int experiment) override;
  void PrintGlobalValues(int experiment) override;
  void* GetGVValue(const char* name) override;
  void OverrideGVValue(const char* name, void* value) override;

  const sanmodel::CheckedModel& Model() const { return Checked; }

 private:
  sanmodel::CheckedModel Checked;
  GlobalValues Values;
};

// Reads and checks the model file at path. Returns the study, or null after
// writing every problem found to err.
std::unique_ptr<InterpretedStudy> LoadStudy(const std::string& path, std::ostream& err);

}  // namespace saninterp

#endif
