#include <cstdio>

#include "cli/Compilation.h"
#include "cli/Job.h"

namespace tessor::cli {

bool FindIdenticalFiles(component::TDiscBurner& burner, const TArgs& args, std::FILE* out,
                        std::FILE* err, int& exitCode) {
    if (!args.Has("--dedupe"))
        return true;
    int64_t saved = 0;
    TJobResult result = RunSmartReferencesJob(burner, err, saved);
    if (result.aborted) {
        std::fprintf(err, "tessor-cli: interrupted; nothing was written\n");
        exitCode = kExitAborted;
        return false;
    }
    if (!result.started || result.failed) {
        std::fprintf(err, "tessor-cli: the search for identical files could not run\n");
        exitCode = kExitFailed;
        return false;
    }
    std::fprintf(out, "%llu identical files, %.1f MB saved\n",
                 static_cast<unsigned long long>(burner.SmartReferenceFiles()), saved / 1e6);
    return true;
}

}  // namespace tessor::cli
