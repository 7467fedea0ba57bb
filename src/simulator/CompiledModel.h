// The model compiled into a simulator executable. The simulator core knows no
// model: each simulator executable links the code of exactly one compiled
// model (the built-in GPU model for gpusim, a model generated from a file
// for a simulator built with gpusim_add_model), which defines these two
// functions. A model read from a file at run time (--model) does not use
// them.
#ifndef SIMULATOR_COMPILEDMODEL_H
#define SIMULATOR_COMPILEDMODEL_H

class BaseStudyClass;

// The study of the process, constructed on the first call.
BaseStudyClass* GenerateStudy();
// Destroys the study, if any; a later GenerateStudy makes a new one.
void DestructStudy();

#endif
