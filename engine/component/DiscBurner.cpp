#include "engine/component/DiscBurner.h"

#include <cstring>
#include <iterator>

#include "engine/builder/ECMA_119.h"
#include "engine/builder/ISO9660.h"
#include "engine/builder/SessionImport.h"
#include "engine/builder/SmartReferences.h"
#include "engine/builder/Tree.h"
#include "engine/drive/Capacity.h"
#include "engine/drive/Consts.h"
#include "engine/drive/DeviceScan.h"
#include "engine/drive/DriveClaim.h"
#include "engine/drive/Queries.h"
#include "engine/drive/RetryPolicy.h"
#include "engine/drive/SCSILib.h"
#include "engine/drive/SenseText.h"
#include "engine/drive/WriteControl.h"
#include "engine/platform/File.h"
#include "engine/platform/Strings.h"
#include "engine/writer/CDBurner.h"
#include "engine/writer/Cache.h"
#include "engine/writer/Erase.h"
#include "engine/writer/ImageFile.h"
#include "engine/writer/SessionRead.h"
#include "engine/writer/Verify.h"

namespace tessor::component {

namespace {

constexpr uint32_t kMinCacheBytes = 2097152;

}  // namespace

TDiscBurner::TDiscBurner(bool hasOwner) {
    builder_.EngineLock = &engineLock_;
    SetBurnProof(true);
    SetTestWrite(false);
    SetFinalizeDisc(false);
    SetReplaceFile(false);
    SetCacheSize(32);
    SetJolietFileSystem(true);
    SetUDFBridge(false);
    OnWriteDone = nullptr;
    OnEraseDone = nullptr;
    if (hasOwner) {
        messages_ = std::make_unique<platform::TMessageTarget>(
            [this](const platform::TMessage& m) { HandleMessage(m); });
        builder_.NotifyWindow = messages_.get();
        drive_.NotifyWindow = messages_.get();
    }
    drive_.CloseAfterCommand = 1;
}

// A write still running when the component goes would use freed records:
// it is asked to stop and waited for.
TDiscBurner::~TDiscBurner() {
    if (smartRefThread_.joinable()) {
        builder_.AbortRequested = 1;
        smartRefThread_.join();
    }
    if (builder_.CacheThread.joinable() || builder_.WriteThread.joinable() ||
        builder_.VerifyThread.joinable()) {
        builder_.AbortRequested = 1;
        writer::JoinWriterThreads(builder_);
    }
    writer::JoinEraseThread(builder_);
    drive::CloseDevice(drive_);
    builder::ClearFiles(builder_);
}

bool TDiscBurner::ScanDevices(uint8_t useAspi, const std::string& aspiLibrary,
                              const std::string& logFile) {
    return drive::ScanDevices(drive_, useAspi, aspiLibrary, logFile);
}

uint8_t TDiscBurner::DeviceCount() const {
    return drive::DeviceCount(drive_);
}

std::string TDiscBurner::DeviceName(uint8_t index) const {
    return drive::DeviceName(drive_, index);
}

bool TDiscBurner::SelectDevice(uint8_t index) {
    return drive::SelectDevice(drive_, index);
}

bool TDiscBurner::DeviceReady(const std::function<void()>& whileWaiting) {
    return drive::WaitUntilReady(drive_, drive::policy::kReadyTimeoutMs, whileWaiting);
}

bool TDiscBurner::IsWriter() const {
    return drive::IsWriter(drive_);
}

bool TDiscBurner::DiscErasable() {
    return drive::DiscErasable(drive_);
}

uint32_t TDiscBurner::DiscFreeSectors() {
    return drive::DiscFreeSectors(drive_);
}

uint32_t TDiscBurner::DiscCapacitySectors() {
    return drive::DiscCapacitySectors(drive_);
}

uint16_t TDiscBurner::MaxWriteSpeed() {
    return drive::MaxWriteSpeed(drive_);
}

bool TDiscBurner::SetSpeeds(uint16_t readSpeed, uint16_t writeSpeed) {
    return drive::SetSpeeds(drive_, readSpeed, writeSpeed);
}

// The tray is not moved under another program's write or erase.
bool TDiscBurner::LoadTray(bool immediate) {
    if (!ReserveDevice())
        return false;
    bool ok = drive::LoadTray(drive_, immediate);
    ReleaseDevice();
    return ok;
}

bool TDiscBurner::EjectTray(bool immediate) {
    if (!ReserveDevice())
        return false;
    bool ok = drive::EjectTray(drive_, immediate);
    ReleaseDevice();
    return ok;
}

bool TDiscBurner::ReserveDevice() {
    if (drive::ClaimDevice(drive_))
        return true;
    builder_.ErrorCode = drive_.ClaimFailure == drive::TClaimFailure::ReadOnly
                             ? writer::kErrDriveReadOnly
                             : writer::kErrDriveBusy;
    return false;
}

void TDiscBurner::ReleaseDevice() {
    drive::ReleaseDevice(drive_);
}

uint8_t TDiscBurner::MediaType() {
    return drive::GetMediaType(drive_);
}

int TDiscBurner::DiscStatus() {
    if (!drive::ReadDiscInformation(drive_, drive_.DiscInfo, sizeof drive_.DiscInfo))
        return -1;
    return drive_.DiscInfo[2] & drive::DISC_STATUS_MASK;
}

std::string TDiscBurner::VolumeID() const {
    return builder::GetVolumeLabel(builder_);
}

void TDiscBurner::SetVolumeID(const std::string& label) {
    builder::SetVolumeLabel(builder_, label.c_str());
}

void TDiscBurner::SetVolumeIDW(std::u16string_view label) {
    builder::SetVolumeLabelW(builder_, label);
}

// Megabytes x 1,048,576 in 32 bits, and 2 MB for anything that reads below
// that as a signed number (0, 1, and the products that overflow).
void TDiscBurner::SetCacheSize(uint32_t megabytes) {
    uint32_t bytes = megabytes * 1048576u;
    if (static_cast<int32_t>(bytes) < static_cast<int32_t>(kMinCacheBytes))
        bytes = kMinCacheBytes;
    builder_.CacheBytes = static_cast<int32_t>(bytes);
}

uint32_t TDiscBurner::CacheSize() const {
    return static_cast<uint32_t>(builder_.CacheBytes) >> 20;
}

bool TDiscBurner::IsSkipped(const builder::TDirEntry* dir) {
    return builder::IsSkip(dir);
}

bool TDiscBurner::IsSkipped(const builder::TFileEntry* entry) {
    return builder::IsSkip(entry);
}

const char* TDiscBurner::StatusName(uint16_t status) {
    // In the order of the codes, S_IDLE (0) to S_GEN_SM_REF (11).
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
    return status < std::size(kNames) ? kNames[status] : "UNKNOWN_STATUS";
}

const char* TDiscBurner::MediaTypeName(uint8_t mediaType) {
    using namespace drive;
    switch (mediaType) {
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

bool TDiscBurner::IsPressedMedium(uint8_t mediaType) {
    using namespace drive;
    return mediaType == MT_CD_ROM || mediaType == MT_DVD_ROM || mediaType == MT_BD_ROM ||
           mediaType == MT_HD_DVD_ROM || mediaType == MT_DDCD_ROM;
}

bool TDiscBurner::IsOverwritableMedium(uint8_t mediaType) {
    using namespace drive;
    return mediaType == MT_DVD_PLUS_RW || mediaType == MT_DVD_RAM || mediaType == MT_BD_RE ||
           mediaType == MT_DVD_RW_RO;
}

std::string TDiscBurner::BootImageSizes() {
    std::string text;
    const size_t count = std::size(builder::iso::kBootImageKinds);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += i + 1 == count ? " or " : ", ";
        text += std::to_string(builder::iso::kBootImageKinds[i].Size);
    }
    return text;
}

std::string TDiscBurner::BootImage() const {
    return builder::GetBootImage(builder_);
}

// An empty path changes nothing (only ClearFiles removes a boot image); a
// file that cannot be opened or has none of the boot image sizes is ignored.
void TDiscBurner::SetBootImage(const std::string& path) {
    if (path.empty())
        return;
    platform::TFile file;
    if (!file.OpenReadNarrow(path))
        return;
    int64_t size = file.Size();
    file.Close();
    if (builder::iso::FindBootImageKind(size) == nullptr)
        return;
    builder::SetBootImage(builder_, path.c_str());
}

// A write of the compilation before the change is no longer one to verify:
// the files it would name are gone or moved.
void TDiscBurner::ClearFiles() {
    JoinSmartReferences();
    builder_.WrittenTarget = builder::TWrittenTarget::None;
    builder::ClearFiles(builder_);
}

builder::TDirEntry* TDiscBurner::CreateDir(std::u16string_view destPath, std::u16string_view name) {
    JoinSmartReferences();
    return builder::CreateDir(builder_, destPath, name);
}

builder::TFileEntry* TDiscBurner::AddFile(std::u16string_view destPath,
                                          std::u16string_view fileName) {
    JoinSmartReferences();
    builder_.AddFileHandler = OnAddFile;
    return builder::AddFile(builder_, destPath, fileName);
}

builder::TDirEntry* TDiscBurner::AddFolder(std::u16string_view destPath,
                                           std::u16string_view sourceDir, std::u16string_view mask,
                                           bool recursive, bool keepSourcePath) {
    JoinSmartReferences();
    builder_.AddFileHandler = OnAddFile;
    return builder::AddFolder(builder_, destPath, sourceDir, mask, recursive, keepSourcePath);
}

int32_t TDiscBurner::PrepareImage() {
    JoinSmartReferences();
    builder_.WrittenTarget = builder::TWrittenTarget::None;
    return builder::PrepareImage(builder_);
}

int32_t TDiscBurner::ImportSession() {
    JoinSmartReferences();
    writer::TSessionImport report;
    bool ok = writer::ImportLastSession(builder_, drive_, report);
    importError_ = report.Error;
    importUdfOff_ = report.UdfLeftOff;
    return ok ? report.Carried : -1;
}

int TDiscBurner::ReadSession(builder::TRecordedSession& session) {
    bool found = false;
    bool ok = writer::ReadLastSession(builder_, drive_, session, found);
    importError_ = session.Error;
    return !ok ? -1 : found ? 1 : 0;
}

void TDiscBurner::JoinSmartReferences() {
    if (smartRefThread_.joinable())
        smartRefThread_.join();
}

bool TDiscBurner::GenerateSmartReferences() {
    if (smartRefRunning_.load() ||
        (builder_.CacheThread.joinable() && !builder_.CacheThreadEnded.load()))
        return false;
    JoinSmartReferences();
    writer::JoinWriterThreads(builder_);
    // The sets change the layout: a write needs a new PrepareImage.
    builder_.Prepared = 0;
    builder_.AbortRequested = 0;
    builder_.StatusCode = builder::S_GEN_SM_REF;
    smartRefRunning_ = true;
    smartRefThread_ = std::thread([this, handler = OnGenerateSmartReferencesDone] {
        bool found = builder::GenerateSmartReferences(builder_);
        auto saved = static_cast<int64_t>(builder_.Smart.SavedBytes);
        builder_.StatusCode = builder::S_IDLE;
        smartRefRunning_ = false;
        if (!handler)
            return;
        // The count travels in lParam at its full 64 bits.
        static_assert(sizeof(intptr_t) >= sizeof(int64_t));
        if (builder_.NotifyWindow != nullptr)
            builder_.NotifyWindow->Post(writer::kMsgSmartRefDone, found ? 0 : 1, saved);
        else
            handler(this, !found, saved);
    });
    return true;
}

bool TDiscBurner::WriteDisc() {
    JoinSmartReferences();
    writer::JoinWriterThreads(builder_);
    builder_.ImagePath.clear();
    builder_.WriteToImageFile = 0;
    builder_.ReadFromImageFile = 0;
    builder_.DigestOnly = 0;
    drive_.MediaType = drive::GetMediaType(drive_);
    return writer::StartWrite(builder_, &drive_, this, OnWriteDone);
}

bool TDiscBurner::WriteImageToDisc(const std::string& imageFile) {
    writer::JoinWriterThreads(builder_);
    builder_.ImagePath = platform::FromSystem(imageFile);
    builder_.WriteToImageFile = 0;
    builder_.ReadFromImageFile = 1;
    builder_.DigestOnly = 0;
    builder_.TotalSectors = 0;
    if (!builder_.ImageFileHandle.OpenReadNarrow(imageFile)) {
        builder_.CurrentSourcePath = builder_.ImagePath;
        builder_.ErrorCode = writer::kErrOpenFile;
        return false;
    }
    drive_.MediaType = drive::GetMediaType(drive_);
    return writer::StartWrite(builder_, &drive_, this, OnWriteDone);
}

bool TDiscBurner::CreateImageFile(std::u16string_view imageFile) {
    JoinSmartReferences();
    return writer::CreateImageFile(builder_, imageFile, this, OnWriteDone);
}

bool TDiscBurner::ImageIsSource(std::u16string_view path) const {
    return writer::IsCompilationSource(builder_, path);
}

bool TDiscBurner::EraseDisc(bool quick) {
    return writer::EraseDisc(builder_, drive_, quick, OnEraseDone);
}

bool TDiscBurner::VerifyDisc() {
    writer::TVerifyJob job;
    job.Drive = &drive_;
    return writer::StartVerify(builder_, job, this, OnVerifyDone);
}

bool TDiscBurner::ReadSourcesForVerify() {
    return writer::StartDigestRun(builder_, drive_, this, OnWriteDone);
}

bool TDiscBurner::VerifyDiscAgainstImage(const std::string& imageFile) {
    writer::TVerifyJob job;
    job.Drive = &drive_;
    job.ReferenceFile = imageFile;
    return writer::StartVerify(builder_, job, this, OnVerifyDone);
}

bool TDiscBurner::VerifyImageFile() {
    writer::TVerifyJob job;
    job.TargetFile = platform::ToSystem(builder_.ImagePath);
    return writer::StartVerify(builder_, job, this, OnVerifyDone);
}

void TDiscBurner::Abort() {
    builder_.ErrorCode = writer::kErrAborted;
    builder_.StatusCode = builder::S_ABORTING;
    builder_.AbortRequested = 1;
}

std::string TDiscBurner::ErrorText() {
    return TakeError().Text;
}

TDiscBurner::TErrorReport TDiscBurner::TakeError() {
    uint32_t code = writer::TakeErrorCode(builder_, drive_.LastSenseCode);
    TErrorReport report{writer::ErrorTextFor(builder_, code), {}};
    int fileError = builder_.FileErrorNumber.exchange(0);
    switch (code) {
        case writer::kErrOpenFile:
        case writer::kErrReadFile:
        case writer::kErrCreateFile:
        case writer::kErrWriteFile:
            if (fileError != 0)
                report.Detail = std::strerror(fileError);
            break;
        case writer::kErrDriveBusy:
        case writer::kErrDriveReadOnly:
            report.Detail = drive_.ClaimDetail;
            break;
        case writer::kErrVerifyRead:
            report.Detail = drive::DescribeSense(drive_.LastSense);
            drive_.LastSenseCode = 0;
            break;
        default:
            if (code >= 0x100) {
                drive::TSense sense = drive_.LastSense;
                if (drive::SenseCode(sense.Asc, sense.Ascq) != code)
                    sense = {0, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
                report.Detail = drive::DescribeSense(sense);
            }
            break;
    }
    return report;
}

void TDiscBurner::HandleMessage(const platform::TMessage& m) {
    switch (m.message) {
        case writer::kMsgEraseDone:
            if (OnEraseDone)
                OnEraseDone(this, 0, m.lParam != 0);
            break;
        case writer::kMsgWriteDone:
            if (OnWriteDone)
                OnWriteDone(this, 0, m.lParam != 0);
            break;
        case writer::kMsgVerifyDone:
            if (OnVerifyDone)
                OnVerifyDone(this, 0, static_cast<int32_t>(m.lParam), m.wParam != 0);
            break;
        case writer::kMsgSmartRefDone:
            if (OnGenerateSmartReferencesDone) {
                OnGenerateSmartReferencesDone(this, m.wParam != 0, static_cast<int64_t>(m.lParam));
            }
            break;
        default:
            break;
    }
}

}  // namespace tessor::component
