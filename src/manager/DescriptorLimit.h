// The manager holds a few open descriptors per simulator for the whole
// study (the output pipe, the connection, and with --binary the spool of its
// blocks, with --results-folder its file in the folder, which is open twice
// while blocks come: once for direct writes), so a large study
// meets the common soft limit of 1024 long before
// the hard one. ReserveDescriptors raises the soft limit to the hard limit
// and says, before anything starts, whether the study fits.
//
// Not thread-safe: called once at start-up.
#ifndef MANAGER_DESCRIPTOR_LIMIT_H
#define MANAGER_DESCRIPTOR_LIMIT_H

#include <string>

// Descriptors a study of this size needs at most at any one time.
long DescriptorsNeeded(int simulators, bool keepBlocks);

// Raises the soft limit on open descriptors to the hard limit. False with
// error set (naming the need and the limit) when even that is below needed.
bool ReserveDescriptors(long needed, std::string& error);

#endif
