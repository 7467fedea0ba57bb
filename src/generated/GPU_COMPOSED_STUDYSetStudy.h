// GPU_COMPOSED_STUDYSetStudy is the study of the GPU model: one global
// variable, `size` (a short, the length of the compute unit's program array),
// and one experiment, "Experiment 1", in which size is 13. It is the factory
// of the GPU reward model.
//
// Ownership: the study owns its value table and the last reward model it
// made (each GetPVModel replaces the previous one). GenerateStudy and
// DestructStudy manage the one study of the process, held in GlobalStudyPtr.
#ifndef GENERATED_GPU_COMPOSED_STUDYSETSTUDY_H
#define GENERATED_GPU_COMPOSED_STUDYSETSTUDY_H

#include <vector>

#include "rewards/BaseStudyClass.h"

// The model's global variable; 0 until the study sets it. The generated
// model reads it directly.
extern short size;

extern BaseStudyClass* GlobalStudyPtr;

// The study of the process, constructed on the first call.
BaseStudyClass* GenerateStudy();
// Destroys the study, if any; a later GenerateStudy makes a new one.
void DestructStudy();

class GPU_COMPOSED_STUDYSetStudy : public BaseStudyClass {
 public:
  GPU_COMPOSED_STUDYSetStudy();
  GPU_COMPOSED_STUDYSetStudy(const GPU_COMPOSED_STUDYSetStudy&) = delete;
  GPU_COMPOSED_STUDYSetStudy& operator=(const GPU_COMPOSED_STUDYSetStudy&) = delete;
  ~GPU_COMPOSED_STUDYSetStudy() override;

  PVModel* GetPVModel(bool expandTimePoints) override;
  // An experiment other than 0 (the only one) is reported on the error
  // stream and ends the process with status 1.
  void SetGVs(int experiment) override;
  void PrintGlobalValues(int experiment) override;
  void* GetGVValue(const char* name) override;
  void OverrideGVValue(const char* name, void* value) override;

  // Stores the table value of size again for experiment 0.
  void SetValues_size();

 private:
  std::vector<short> SizeValues;  // one entry per experiment
};

#endif
