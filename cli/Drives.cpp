#include "cli/Drives.h"

#include <cstdlib>
#include <iterator>

#include "cli/Language.h"
#include "engine/builder/TreeTypes.h"
#include "engine/drive/Consts.h"

namespace tessor::cli {

bool ScanDrives(component::TDiscBurner& burner, const TArgs& args, std::FILE* err) {
    std::string library = args.Value("--aspi") ? *args.Value("--aspi") : "";
    std::string log = args.Value("--log") ? *args.Value("--log") : "";
    uint8_t useAspi = args.Has("--use-aspi") || args.Value("--aspi") ? 1 : 0;
    if (!burner.ScanDevices(useAspi, library, log)) {
        std::fprintf(err,
                     "tessor-cli: no optical drive can be opened and no ASPI library (%s) can "
                     "be used\n",
                     library.empty() ? "libwnaspi32.so" : library.c_str());
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

const char* MediaTypeName(uint8_t m) {
    using namespace drive;
    switch (m) {
        case MT_NONE:
            return "no disc";
        case MT_CD_ROM:
            return "CD-ROM";
        case MT_CD_R:
            return "CD-R";
        case MT_CD_RW:
            return "CD-RW";
        case MT_DVD_ROM:
            return "DVD-ROM";
        case MT_DVD_R:
            return "DVD-R";
        case MT_DVD_RAM:
            return "DVD-RAM";
        case MT_DVD_RW_RO:
            return "DVD-RW (restricted overwrite)";
        case MT_DVD_RW_SEQ:
            return "DVD-RW (sequential)";
        case MT_DVD_PLUS_RW:
            return "DVD+RW";
        case MT_DVD_PLUS_R:
            return "DVD+R";
        case MT_DVD_PLUS_R_DL:
            return "DVD+R DL";
        case MT_BD_ROM:
            return "BD-ROM";
        case MT_BD_R_SRM:
            return "BD-R (SRM)";
        case MT_BD_R_RRM:
            return "BD-R (RRM)";
        case MT_BD_RE:
            return "BD-RE";
        case MT_HD_DVD_ROM:
            return "HD DVD-ROM";
        case MT_HD_DVD_R:
            return "HD DVD-R";
        case MT_HD_DVD_RAM:
            return "HD DVD-RAM";
        case MT_DDCD_ROM:
            return "DDCD-ROM";
        case MT_DDCD_R:
            return "DDCD-R";
        case MT_DDCD_RW:
            return "DDCD-RW";
        default:
            return "unknown medium";
    }
}

std::string StatusText(uint16_t status) {
    // The status codes in order, S_IDLE (0) to S_GEN_SM_REF (11).
    static const char* const kNames[] = {"S_IDLE",
                                         "S_WRITING",
                                         "S_ERASING",
                                         "S_BACKGROUND_FORMAT",
                                         "S_CLOSING_TRACK",
                                         "S_CLOSING_DISC",
                                         "S_PREPARING",
                                         "S_ABORTING",
                                         "S_IMPORTING_SESSION",
                                         "S_BURN_ERROR_ABORTING",
                                         "S_VERIFYING",
                                         "S_GEN_SM_REF"};
    static_assert(builder::S_GEN_SM_REF == 11 && std::size(kNames) == 12);
    return LangText(status < std::size(kNames) ? kNames[status] : "UNKNOWN_STATUS");
}

}  // namespace tessor::cli
