#include "cli/Drives.h"

#include <cstdlib>

#include "cli/Language.h"
#include "engine/drive/DeviceScan.h"

namespace tessor::cli {

bool ScanDrives(component::TDiscBurner& burner, const TArgs& args, std::FILE* err) {
    std::string library = args.Value("--aspi") ? *args.Value("--aspi") : "";
    std::string log = args.Value("--log") ? *args.Value("--log") : "";
    uint8_t useAspi = args.Has("--use-aspi") || args.Value("--aspi") ? 1 : 0;
    if (!burner.ScanDevices(useAspi, library, log)) {
        std::fprintf(err,
                     "tessor-cli: no optical drive can be opened and no ASPI library (%s) can "
                     "be used\n",
                     library.empty() ? tessor::drive::DEFAULT_ASPI_LIBRARY : library.c_str());
        return false;
    }
    if (burner.DeviceCount() == 0) {
        std::fprintf(err, "tessor-cli: no optical drive found\n");
        return false;
    }
    return true;
}

bool SelectDrive(component::TDiscBurner& burner, const TArgs& args, bool firstWriter,
                 std::FILE* err) {
    int index = 0;
    if (const std::string* d = args.Value("--device")) {
        char* end = nullptr;
        long v = std::strtol(d->c_str(), &end, 10);
        if (d->empty() || *end != '\0' || v < 0 || v >= burner.DeviceCount()) {
            std::fprintf(err, "tessor-cli: --device %s: there are %d drives (0 to %d)\n",
                         d->c_str(), burner.DeviceCount(), burner.DeviceCount() - 1);
            return false;
        }
        index = static_cast<int>(v);
    } else if (firstWriter) {
        index = -1;
        for (int i = 0; i < burner.DeviceCount(); ++i) {
            if (burner.SelectDevice(static_cast<uint8_t>(i)) && burner.IsWriter()) {
                index = i;
                break;
            }
        }
        if (index < 0) {
            std::fprintf(err, "tessor-cli: none of the drives can write\n");
            return false;
        }
    }
    if (!burner.SelectDevice(static_cast<uint8_t>(index))) {
        std::fprintf(err, "tessor-cli: drive %d does not answer\n", index);
        return false;
    }
    return true;
}

std::string StatusText(uint16_t status) {
    return LangText(component::TDiscBurner::StatusName(status));
}

}  // namespace tessor::cli
