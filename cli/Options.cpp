#include "cli/Options.h"

#include <algorithm>

namespace tessor::cli {

bool TArgs::Has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

const std::string* TArgs::Value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
}

bool ParseArgs(const std::vector<std::string>& argv, const std::vector<std::string>& valued,
               const std::vector<std::string>& known, TArgs& out, std::string& error) {
    auto contains = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    bool onlyPositional = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (onlyPositional || a.size() < 2 || a[0] != '-') {
            out.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = a;
        std::string value;
        bool hasValue = false;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        if (contains(valued, name)) {
            if (!hasValue) {
                if (i + 1 >= argv.size()) {
                    error = "option " + name + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            out.values[name] = value;
        } else if (contains(known, name) && !hasValue) {
            out.flags.push_back(name);
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}

bool ParseCommandArgs(const char* command, const std::vector<std::string>& argv,
                      std::vector<std::string> valued, std::vector<std::string> flags,
                      const std::string& help, int maxPositional, TArgs& args, std::FILE* out,
                      std::FILE* err, int& exitCode) {
    flags.insert(flags.end(), {"-h", "--help"});
    std::string error;
    bool ok = ParseArgs(argv, valued, flags, args, error);
    if (ok && maxPositional >= 0 && args.positional.size() > static_cast<size_t>(maxPositional)) {
        error = "unexpected argument " + args.positional[static_cast<size_t>(maxPositional)];
        ok = false;
    }
    if (!ok) {
        std::fprintf(err, "tessor-cli %s: %s\n%s", command, error.c_str(), help.c_str());
        exitCode = kExitUsage;
        return false;
    }
    if (args.Has("-h") || args.Has("--help")) {
        std::fputs(help.c_str(), out);
        exitCode = kExitOk;
        return false;
    }
    return true;
}

}  // namespace tessor::cli
