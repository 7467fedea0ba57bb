// ResultsFolder: a study's results as a folder, one binary results file per
// simulator, so that every value reaches the disk once, straight from the
// read it arrived in. The folder holds:
//   simulator-<k>.bin  simulator k's kept blocks in arrival order, behind a
//                      256-byte header of its own (its seed, its batch
//                      count): a results file gpusim-report reads alone;
//   index.meta         the study's metadata (as <file>.meta beside a merged
//                      file), written before the index;
//   index              written last, under a temporary name renamed into
//                      place once durable: the merged file's header fields
//                      and every simulator file, in merged order, with the
//                      bytes of blocks it holds.
// A folder without an index is unfinished (a study killed, or one still
// running): it is refused as a study. The merged file of the same study is
// the index's header followed by every listed file's blocks in index order;
// reading the files in that order gives the merged file's figures.
//
// Not thread-safe; holds no resources beyond a call.
#ifndef RESULTS_RESULTS_FOLDER_H
#define RESULTS_RESULTS_FOLDER_H

#include <string>
#include <vector>

#include "output/BinFileHeader.h"

struct ResultsFolderIndex {
  struct Entry {
    std::string name;          // within the folder
    long long blockBytes = 0;  // after its 256-byte header
  };
  BinFileHeader header;  // the merged file's: base seed, merged batch count
  std::vector<Entry> files;
};

namespace results_folder {

constexpr char kIndexName[] = "index";
constexpr char kMetadataName[] = "index.meta";

// "simulator-<k>.bin", k the simulator's index from 0.
std::string SimulatorFileName(int simulator);
// Whether name is one a results folder holds (a simulator file, the index,
// its metadata, or an index not yet renamed into place).
bool IsFolderEntry(const std::string& name);
// Whether path names a directory (following a link).
bool IsFolder(const std::string& path);

std::string IndexText(const ResultsFolderIndex& index);
// False with error naming the problem when text is not a complete index.
bool ParseIndex(const std::string& text, ResultsFolderIndex* index, std::string* error);

// Writes the index durably, then renames it into place (as a merged file
// takes its name: the folder itself is not synced, so a crash just after
// may leave the folder without its index, unfinished, never a damaged
// one). False with error set; nothing then stands under the index's name.
bool WriteIndex(const std::string& folder, const ResultsFolderIndex& index, std::string* error);
// Reads the index of folder and checks that every file it lists is there
// with the size it gives. False with error naming what is wrong: no index
// (an unfinished folder), a damaged one, a missing or resized file.
bool ReadIndex(const std::string& folder, ResultsFolderIndex* index, std::string* error);

}  // namespace results_folder

#endif
