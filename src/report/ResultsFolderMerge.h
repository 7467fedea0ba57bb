// MergeResultsFolder makes, from a results folder (results/ResultsFolder.h),
// the single merged results file the manager's --binary writes for the same
// study, byte for byte: the index's header, then every listed simulator
// file's blocks in index order, copied by the kernel (copy_file_range; read
// and written when the kernel declines). Its metadata, index.meta, becomes
// <file>.meta with the results= line naming the file.
//
// The file is written under a temporary name beside it and renamed into
// place once complete and durable (manager/ResultsFile.h: the same rules on
// what an existing path may be); nothing is left under its name on a
// failure.
//
// Not thread-safe; holds no resources beyond the call.
#ifndef REPORT_RESULTS_FOLDER_MERGE_H
#define REPORT_RESULTS_FOLDER_MERGE_H

#include <string>

// False with error naming the problem (an unfinished or damaged folder, a
// file that cannot be written).
bool MergeResultsFolder(const std::string& folder, const std::string& file, std::string* error);

#endif
