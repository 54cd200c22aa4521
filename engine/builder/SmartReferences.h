// Smart references: files of the compilation with identical contents are
// written once, and every name of them points at that one copy.
#pragma once

#include "engine/builder/TreeTypes.h"

namespace tessor::builder {

// Finds the files whose contents are identical and records them in b.Smart,
// replacing what an earlier run found. Only files of equal size are
// compared; a digest of their first mebibyte narrows them, and their bytes
// decide. A file that cannot be read, or that changes while it is read,
// stays a copy of its own (the write reports it as it would anyway). Empty
// files take no space and are left alone, and of several names of one file
// on disk (hard links) only one is read: PrepareImage shares those always.
// While it runs, b.TotalSectors holds the sectors to read and
// b.SectorsWritten those read. Returns false, with b.Smart empty, when
// b.AbortRequested is raised.
bool GenerateSmartReferences(TImageBuilder& b);

// Sets every file entry's SameData (the entry whose extent it shares):
// names of one file on disk share the first one's; so do the members of
// b.Smart's sets that are still the files that were compared.
void LinkSharedData(TImageBuilder& b);

}  // namespace tessor::builder
